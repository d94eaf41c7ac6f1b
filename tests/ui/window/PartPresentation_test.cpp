// The presentation rules of the structure views, checked on parsed parts
// of every class without a window.
#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "ui/window/PanelLayout.h"
#include "ui/window/PartPresentation.h"

namespace {

using namespace wintest;
using namespace smimetest;

std::string Smime(const char* oid, const std::string& extra = "") {
  std::string der = Seq(Oid(oid) + Explicit0(Seq(Integer(std::string(1, '\0')))));
  return Pkcs7Mime(der, "", extra);
}
const char* kEnvelopedOid = "1.2.840.113549.1.7.3";
const char* kSignedOid = "1.2.840.113549.1.7.2";
const std::string kAttach = "Content-Disposition: attachment; filename=\"f.bin\"\r\n";

TEST(PartPresentation, image_and_caption_per_part_class) {
  std::string signedEntity = MultipartSignedEntity(Leaf("text/plain", "signed\r\n"),
                                                   Openssl("cms -sign -binary -outform DER -signer alice.pem "
                                                           "-inkey alice.key",
                                                           Leaf("text/plain", "signed\r\n")));
  // The signed multipart's own header lines go; its entity is a child here.
  signedEntity = signedEntity.substr(signedEntity.find("Content-Type:"));
  std::string bytes = Message(Multipart(
      "mixed", {Leaf("text/plain"), Multipart("related", {Leaf("text/html")}, "r"), Multipart("alternative", {}, "a"),
                Leaf("message/rfc822", Message(Leaf("text/plain"))), Leaf("message/rfc822", "x: y\r\n\r\n", kAttach),
                Leaf("application/octet-stream", "x", kAttach), Leaf("image/png", "x"), Smime(kEnvelopedOid),
                Smime(kEnvelopedOid, kAttach), Smime(kSignedOid), Smime(kSignedOid, kAttach), Smime("1.2.3.4"),
                Leaf("text/plain", "x", "Content-Disposition: attachment; filename=\"a\x01\"\r\n"), signedEntity,
                "\r\nno type at all\r\n",
                Leaf("text/plain", "x", "Content-Disposition: attachment; filename=\"c1\xC2\x85 \\x41\"\r\n")}));
  auto message = Load(bytes);
  TBodyPart* root = message->Roots(0);
  ASSERT_EQ(root->ChildCount(), 16);
  auto* sig = root->Children(13);
  ASSERT_EQ(sig->ChildCount(), 2);

  struct Row {
    TBodyPart* Part;
    int Image;
    const char16_t* Caption;
  } rows[] = {
      {root, piMixed, u"multipart/mixed"},
      {root->Children(0), piText, u"text/plain"},
      {root->Children(1), piRelated, u"multipart/related"},
      {root->Children(2), piMultipart, u"multipart/alternative"},
      {root->Children(3), piMessage, u"message/rfc822"},
      {root->Children(4), piAttachment, u"message/rfc822 (\"f.bin\")"},
      {root->Children(5), piAttachment, u"application/octet-stream (\"f.bin\")"},
      {root->Children(6), piPlain, u"image/png"},
      {root->Children(7), piEnveloped, u"application/pkcs7-mime"},
      {root->Children(8), piEnvelopedAttachment, u"application/pkcs7-mime"},
      {root->Children(9), piSigned, u"application/pkcs7-mime"},
      {root->Children(10), piSignedAttachment, u"application/pkcs7-mime"},
      {root->Children(11), piPlain, u"application/pkcs7-mime"},
      // A control character of the file name cannot break the caption.
      {root->Children(12), piAttachment, u"text/plain (\"a\\x01\")"},
      {sig, piMultipartSigned, u"multipart/signed"},
      {sig->Children(0), piText, u"text/plain"},
      // The attached signature falls through to its own image, without a
      // file-name suffix.
      {sig->Children(1), piSignature, u"application/pkcs7-signature"},
      {root->Children(14), piPlain, u"( Content Type not specified )"},
      // A C1 control goes as its bytes; a backslash of the name is doubled,
      // so the name cannot pass for an escape.
      {root->Children(15), piAttachment, u"text/plain (\"c1\\xC2\\x85 \\\\x41\")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.Part->ContentTypeKey()));
    EXPECT_EQ(PartImageIndex(*row.Part), row.Image);
    EXPECT_EQ(NodeCaption(*row.Part, false), row.Caption);
    EXPECT_EQ(NodeCaption(*row.Part, true), std::u16string(row.Caption) + u" (LOCKED) ");
  }
  EXPECT_TRUE(HasPlaceholder(*root->Children(3)));
  EXPECT_TRUE(HasPlaceholder(*root->Children(7)));
  EXPECT_FALSE(HasPlaceholder(*root->Children(5)));
  EXPECT_FALSE(HasPlaceholder(*sig));
}

TEST(PartPresentation, summary_lines) {
  auto message = Load(Message(
      Multipart("mixed", {Leaf("text/plain"), Leaf("image/gif", "x", "Content-Disposition: inline; filename=a.gif\r\n"),
                          "\r\nuntyped\r\n", Smime(kEnvelopedOid)})));
  TBodyPart* root = message->Roots(0);
  struct Row {
    TBodyPart* Part;
    bool Locked;
    const char16_t* Text;
  } rows[] = {
      {root->Children(0), false, u"Content-Type: text/plain"},
      {root->Children(0), true, u"Content-Type: text/plain   ( LOCKED )"},
      {root->Children(1), false, u"Content-Type: image/gif\r\nContent-Disposition: inline"},
      {root->Children(1), true, u"Content-Type: image/gif   ( LOCKED )\r\nContent-Disposition: inline"},
      {root->Children(2), false, u"Content-Type: ( not specified )"},
      {root->Children(3), false, u"Content-Type: application/pkcs7-mime\r\nNot decoded"},
  };
  for (const Row& row : rows) EXPECT_EQ(SummaryText(*row.Part, row.Locked), row.Text);
}

// --- the panel arithmetic -----------------------------------------------------

std::vector<TPanelBox> Boxes(std::initializer_list<int> parents) {
  std::vector<TPanelBox> boxes;
  for (int p : parents) boxes.push_back(TPanelBox{p});
  return boxes;
}

TEST(PanelLayout, summaries_share_the_height_and_nest_by_indent) {
  // One root with two children, the second with a child of its own.
  TPanelGeometry g = LayoutPanels(Boxes({-1, 0, 0, 2}), 400, 300);
  // units 120, fixed 6*4 + 2*3 = 30: scale (300 - 4 - 30) / 120.
  EXPECT_DOUBLE_EQ(g.Scale, 266.0 / 120);
  int h = static_cast<int>(30 * g.Scale);
  for (const TPanelRect& s : g.Summaries) EXPECT_EQ(s.H, h);
  EXPECT_EQ(g.Boxes[0].W, 400);
  EXPECT_EQ(g.Summaries[0].Y, 2);
  EXPECT_EQ(g.Boxes[1].X, 20);
  EXPECT_EQ(g.Boxes[1].Y, h + 4);
  EXPECT_EQ(g.Boxes[1].W, 376);
  EXPECT_EQ(g.Boxes[2].Y, g.Boxes[1].Bottom() + 2);
  EXPECT_EQ(g.Boxes[3].X, 40);
  EXPECT_EQ(g.Boxes[3].W, 352);
  EXPECT_EQ(g.Summaries[3].W, 348);
  EXPECT_EQ(g.Boxes[2].Bottom(), g.Boxes[3].Bottom() + 2);
  EXPECT_LE(g.Boxes[0].Bottom(), 300);
  EXPECT_EQ(g.Height, 300);
}

TEST(PanelLayout, several_roots_stack_with_equal_heights) {
  TPanelGeometry g = LayoutPanels(Boxes({-1, -1}), 425, 400);
  EXPECT_EQ(g.Boxes[0].H, g.Boxes[1].H);
  EXPECT_EQ(g.Boxes[0].Y, 2);
  EXPECT_EQ(g.Boxes[1].Y, g.Boxes[0].Bottom() + 2);
  EXPECT_EQ(g.Boxes[0].X, 2);
  EXPECT_EQ(g.Boxes[0].W, 421);
  EXPECT_LE(g.Boxes[1].Bottom(), 400);
  EXPECT_GE(g.Boxes[1].Bottom(), 385);

  // A small outer layer over an inner root with two children: the slices
  // stay equal, every summary box keeps one height, and all fits.
  g = LayoutPanels(Boxes({-1, -1, 1, 1}), 425, 400);
  EXPECT_EQ(g.Boxes[0].H, g.Boxes[1].H);
  EXPECT_EQ(g.Summaries[0].H, g.Summaries[3].H);
  EXPECT_TRUE(g.Boxes[1].Contains(g.Boxes[3].X, g.Boxes[3].Bottom() - 1));
  EXPECT_LE(g.Boxes[1].Bottom(), 400);
  EXPECT_EQ(g.Height, 400);
}

TEST(PanelLayout, huge_trees_clamp_and_grow_the_area) {
  struct Case {
    const char* Name;
    std::vector<TPanelBox> Boxes;
  } cases[] = {{"deep", {}}, {"wide", {}}, {"tiny view", Boxes({-1, 0})}};
  for (int i = 0; i < 100; ++i) cases[0].Boxes.push_back(TPanelBox{i - 1});
  cases[1].Boxes.push_back(TPanelBox{-1});
  for (int i = 0; i < 5000; ++i) cases[1].Boxes.push_back(TPanelBox{0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    int viewH = std::string(c.Name) == "tiny view" ? 10 : 500;
    TPanelGeometry g = LayoutPanels(c.Boxes, 425, viewH);
    EXPECT_GE(g.Width, 425);
    for (size_t i = 0; i < c.Boxes.size(); ++i) {
      EXPECT_GT(g.Boxes[i].W, 0);
      EXPECT_GT(g.Boxes[i].H, 0);
      EXPECT_GE(g.Summaries[i].H, kMinSummaryHeight);
      EXPECT_GE(g.Summaries[i].W, kMinSummaryWidth);
      EXPECT_LE(g.Boxes[i].Right(), g.Width);
      EXPECT_LE(g.Boxes[i].Bottom(), g.Height);
    }
  }
  EXPECT_GT(LayoutPanels(cases[0].Boxes, 425, 500).Width, 425);
  EXPECT_GT(LayoutPanels(cases[1].Boxes, 425, 500).Height, 5000 * kMinSummaryHeight);
  EXPECT_TRUE(LayoutPanels({}, 425, 500).Boxes.empty());
}

}  // namespace
