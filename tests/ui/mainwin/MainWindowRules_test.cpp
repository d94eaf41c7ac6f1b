// The main window's rules without a window: recent files and numbered
// captions, file-name identity, the stored settings (hand-edited values
// included), placement on the screens, drop formats and the instance frames.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ui/DropFormats.h"
#include "ui/InstanceProtocol.h"
#include "MainWinSupport.h"
#include "ui/RecentFiles.h"
#include "ui/WindowArrangement.h"
#include "ui/WindowSettings.h"
#include "config/QXConf.h"
#include "util/charsets/Charsets.h"

using namespace tessel;
using tessel::test::TTempDir;

namespace {

std::vector<std::string> Names(int n) {
  std::vector<std::string> names;
  for (int i = 1; i <= n; ++i) names.push_back("/m/f" + std::to_string(i) + ".eml");
  return names;
}

}  // namespace

TEST(RecentFiles, eleven_names_give_ten_numbered_items_skipping_open_ones) {
  TRecentFiles recent;
  recent.Assign(Names(11));
  auto items = recent.ReopenItems(nullptr);
  ASSERT_EQ(items.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(items[i].FileName, "/m/f" + std::to_string(i + 1) + ".eml");
    EXPECT_EQ(items[i].Caption, "&" + std::to_string(i + 1) + " /m/f" + std::to_string(i + 1) + ".eml");
  }
  // An open file is left out and the numbers close up; the eleventh name
  // stays out of reach (only the first ten names are offered).
  items = recent.ReopenItems([](const std::string& n) { return n == "/m/f2.eml"; });
  ASSERT_EQ(items.size(), 9u);
  EXPECT_EQ(items[1].Caption, "&2 /m/f3.eml");
  EXPECT_EQ(items.back().FileName, "/m/f10.eml");
}

TEST(RecentFiles, touch_moves_to_top_without_duplicates_and_case_matters) {
  TRecentFiles recent;
  recent.Assign({"/a.eml", "", "/b.eml", "/a.eml", "/A.eml"});
  EXPECT_EQ(recent.Names(), (std::vector<std::string>{"/a.eml", "/b.eml", "/A.eml"}));
  recent.Touch("/b.eml");
  recent.Touch("/new.eml");
  EXPECT_EQ(recent.Names(), (std::vector<std::string>{"/new.eml", "/b.eml", "/a.eml", "/A.eml"}));
}

TEST(RecentFiles, captions_keep_ampersands_and_tabs_visible) {
  struct {
    int Number;
    std::string Text, Caption;
  } cases[] = {
      {1, "/x/Tom & Jerry.eml", "&1 /x/Tom && Jerry.eml"},
      {10, "&&", "&10 &&&&"},
      {3, "a\tb", "&3 a b"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberedCaption(c.Number, c.Text), c.Caption) << c.Text;
}

TEST(RecentFiles, canonical_names_identify_one_file) {
  TTempDir dir;
  test::WriteFile(dir / "m.eml", "x");
  std::filesystem::create_directories(dir / "sub");
  std::filesystem::create_symlink(dir / "m.eml", dir / "link.eml");
  const std::string m = CanonicalFileName(dir / "m.eml", "/");
  EXPECT_EQ(CanonicalFileName("m.eml", dir.Str()), m);
  EXPECT_EQ(CanonicalFileName("sub/../m.eml", dir.Str()), m);
  EXPECT_EQ(CanonicalFileName("./link.eml", dir.Str()), m);
  EXPECT_NE(CanonicalFileName("M.eml", dir.Str()), m);
  // A name that does not exist still becomes absolute and tidy.
  EXPECT_EQ(CanonicalFileName("sub/./none.eml", dir.Str()),
            std::filesystem::path(CanonicalFileName("sub", dir.Str())) / "none.eml");
}

class SettingsTest : public ::testing::Test {
protected:
  TQXConfigFile Config;
  void Load(const std::string& body) {
    Config.LoadFromString("<?xml version=\"1.0\" encoding=\"iso-8859-2\"?>\r\n<Key>" + body + "</Key>");
  }
};

TEST_F(SettingsTest, first_start_writes_the_option_defaults_and_keeps_user_values) {
  InitOptions(Config, "/home/u/mail");
  EXPECT_EQ(Config.ReadString(kDisplayAsnKey), u"No");
  EXPECT_EQ(Config.OpenKey(kDisplayAsnKey).ReadValue("Values"), u"No;Yes");
  EXPECT_EQ(Config.ReadString(kCreateTempFilesKey), u"Yes");
  EXPECT_EQ(Config.OpenKey(kCreateTempFilesKey).ReadValue("Values"), u"Yes;No");
  EXPECT_EQ(Config.ReadString(kDumpDirectoryKey), u"/home/u/mail");
  EXPECT_FALSE(ReadViewAsPanels(Config));
  EXPECT_FALSE(ReadPlacement(Config));

  Load("<Options><CreateTempFiles Values=\"x\">yes</CreateTempFiles><DumpDirectory>/d</DumpDirectory></Options>");
  InitOptions(Config, "/elsewhere");
  EXPECT_EQ(Config.ReadString(kCreateTempFilesKey), u"yes");
  EXPECT_EQ(Config.OpenKey(kCreateTempFilesKey).ReadValue("Values"), u"Yes;No");
  EXPECT_EQ(Config.ReadString(kDumpDirectoryKey), u"/d");
}

TEST_F(SettingsTest, only_the_exact_yes_routes_drops_through_temporary_files) {
  struct {
    const char* Stored;
    bool TempFiles;
  } cases[] = {{"Yes", true}, {"yes", false}, {"No", false}, {"Yes ", false}, {"", false}};
  for (const auto& c : cases) {
    Config.WriteString(kCreateTempFilesKey, Utf8ToWide(c.Stored));
    EXPECT_EQ(DropsUseTempFiles(Config), c.TempFiles) << c.Stored;
  }
}

TEST_F(SettingsTest, hand_edited_placements_that_do_not_hold_are_absent) {
  struct {
    const char* Attributes;
    bool Valid;
  } cases[] = {
      {"L=\"10\" T=\"-20\" W=\"696\" H=\"480\"", true},
      {"L=\"10\" T=\"20\" W=\"abc\" H=\"480\"", false},
      {"L=\"10\" T=\"20\" W=\"696\"", false},
      {"L=\"10\" T=\"20\" W=\"0\" H=\"480\"", false},
      {"L=\"10\" T=\"20\" W=\"696\" H=\"-5\"", false},
      {"L=\"10\" T=\"20\" W=\"99999\" H=\"480\"", false},
      {"L=\"99999999999\" T=\"20\" W=\"696\" H=\"480\"", false},
      {"", false},
  };
  for (const auto& c : cases) {
    Load(std::string("<window><placement ") + c.Attributes + "/></window>");
    auto placement = ReadPlacement(Config);
    EXPECT_EQ(placement.has_value(), c.Valid) << c.Attributes;
    if (placement && c.Valid) {
      EXPECT_EQ(*placement, (TRect{10, -20, 696, 480}));
    }
  }
  Load("<View><AsPanels>maybe</AsPanels></View>");
  EXPECT_FALSE(ReadViewAsPanels(Config));
  WritePlacement(Config, {1, 2, 300, 400});
  EXPECT_EQ(ReadPlacement(Config), (TRect{1, 2, 300, 400}));
}

TEST_F(SettingsTest, file_lists_round_trip_without_names_that_break_lines) {
  WriteFileList(Config, kRecentFilesKey, {"/a b.eml", "/evil\r\n/etc/passwd", "", "/c\n.eml", "/\xc3\xa9.eml"});
  EXPECT_EQ(Config.ReadString(kRecentFilesKey), u"/a b.eml\r\n/\u00e9.eml\r\n");
  EXPECT_EQ(ReadFileList(Config, kRecentFilesKey), (std::vector<std::string>{"/a b.eml", "/\xc3\xa9.eml"}));
  // Hand-edited lists may end lines any way.
  Config.WriteString(kLastFilesKey, u"/1.eml\n\n/2.eml\r/3.eml");
  EXPECT_EQ(ReadFileList(Config, kLastFilesKey), (std::vector<std::string>{"/1.eml", "/2.eml", "/3.eml"}));
}

TEST(Placement, off_screen_windows_move_onto_the_primary_screen) {
  const TRect primary{0, 0, 1920, 1080};
  const std::vector<TRect> screens{primary, {1920, 0, 1280, 1024}};
  struct {
    TRect Stored, Placed;
  } cases[] = {
      {{100, 100, 696, 480}, {100, 100, 696, 480}},    // on the first screen
      {{2000, 50, 696, 480}, {2000, 50, 696, 480}},    // on the second
      {{1880, 10, 696, 480}, {1880, 10, 696, 480}},    // across both
      {{3500, 100, 696, 480}, {612, 300, 696, 480}},   // right of everything
      {{-680, 100, 696, 480}, {612, 300, 696, 480}},   // only 16 pixels show
      {{100, -5000, 696, 480}, {612, 300, 696, 480}},  // far above
      {{5000, 5000, 4000, 3000}, {0, 0, 1920, 1080}},  // larger than the screen
      {{3100, 1000, 30, 20}, {3100, 1000, 30, 20}},    // small, wholly inside
      {{3199, 1000, 30, 20}, {945, 530, 30, 20}},      // small, one pixel showing
  };
  for (const auto& c : cases)
    EXPECT_EQ(FitOnScreens(c.Stored, screens, primary), c.Placed) << c.Stored.X << "," << c.Stored.Y;
}

TEST(Drop, first_offered_format_that_fits_wins) {
  struct {
    std::vector<std::string> Offered;
    TDropKind Kind;
    std::string Format;
  } cases[] = {
      {{"text/plain", "text/uri-list", "message/rfc822"}, TDropKind::Files, "text/uri-list"},
      {{"message/rfc822", "text/uri-list"}, TDropKind::Message, "message/rfc822"},
      {{"Internet Message (rfc822/rfc1522)"}, TDropKind::Message, "Internet Message (rfc822/rfc1522)"},
      {{"application/x-qt-windows-mime;value=\"Internet Message (rfc822/rfc1522)\""},
       TDropKind::Message,
       "application/x-qt-windows-mime;value=\"Internet Message (rfc822/rfc1522)\""},
      {{"application/x-qt-windows-mime;value=\"FileName\"", "text/html", "Message/RFC822"},
       TDropKind::Message,
       "Message/RFC822"},
      {{"text/plain", "text/uri-list-x", "message/rfc822x"}, TDropKind::None, ""},
      {{}, TDropKind::None, ""},
  };
  for (const auto& c : cases) {
    const TDropChoice choice = ChooseDropFormat(c.Offered);
    EXPECT_EQ(choice.Kind, c.Kind) << c.Format;
    EXPECT_EQ(choice.Format, c.Format);
  }
}

TEST(Drop, uri_lists_give_local_files_only) {
  const std::string list =
      "# comment\r\nfile:///home/u/a%20b.eml\r\nhttp://example.org/x.eml\r\nfile://localhost/c.eml\n"
      "file://otherhost/d.eml\r\nFILE:/e%2Fx.eml\r\nfile:///nul%00.eml\r\nfile:///bad%zz.eml\r\nfile:///q.eml?x#y\r\n";
  EXPECT_EQ(LocalFilesOfUriList(list),
            (std::vector<std::string>{"/home/u/a b.eml", "/c.eml", "/e/x.eml", "/bad%zz.eml", "/q.eml"}));
}

// The plain cases are window titles in MainWindow_test.
TEST(Drop, dropped_captions_are_one_line) {
  EXPECT_EQ(DroppedCaption("a\r\nFake: line\x7f"), "a  Fake: line  (Dropped file)");
}

TEST(InstanceFrames, frames_survive_any_split_and_bad_ones_break_the_reader) {
  const std::string names[] = {"/tmp/\xc3\xa9 a.eml", std::string(5000, 'n'), ""};
  std::string stream = EncodeInstanceFrame(TInstanceCommand::Raise, "");
  for (const auto& n : names) stream += EncodeInstanceFrame(TInstanceCommand::Open, n);
  for (size_t piece : {size_t{1}, size_t{3}, size_t{4096}, stream.size()}) {
    TInstanceFrameReader reader;
    std::vector<TInstanceFrame> got;
    for (size_t at = 0; at < stream.size(); at += piece) {
      reader.Feed(std::string_view(stream).substr(at, piece));
      for (TInstanceFrame f; reader.Next(f);) got.push_back(f);
    }
    ASSERT_EQ(got.size(), 4u) << piece;
    EXPECT_EQ(got[0].Command, TInstanceCommand::Raise);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(got[i + 1].Command, TInstanceCommand::Open);
      EXPECT_EQ(got[i + 1].Argument, names[i]);
    }
    EXPECT_FALSE(reader.Broken());
  }
  const std::string bad[] = {
      std::string("\0\0\0\0", 4),       // empty frame
      std::string("\0\0\0\2X/", 6),     // unknown command
      std::string("\0\x01\0\x01O", 5),  // over the limit
      std::string("\xff\xff\xff\xff", 4),
  };
  for (const auto& b : bad) {
    TInstanceFrameReader reader;
    reader.Feed(b + EncodeInstanceFrame(TInstanceCommand::Raise, ""));
    TInstanceFrame f;
    EXPECT_FALSE(reader.Next(f));
    EXPECT_TRUE(reader.Broken());
  }
}

TEST(Arrangement, tilings_cover_the_area_in_the_named_direction) {
  EXPECT_EQ(TileRects(3, 1000, 600, true),
            (std::vector<TRect>{{0, 0, 333, 600}, {333, 0, 333, 600}, {666, 0, 334, 600}}));
  EXPECT_EQ(TileRects(2, 1000, 601, false), (std::vector<TRect>{{0, 0, 1000, 300}, {0, 300, 1000, 301}}));
  EXPECT_TRUE(TileRects(0, 1000, 600, true).empty());
  // More windows than pixels still gives every window a size.
  for (const TRect& r : TileRects(5, 3, 10, true)) EXPECT_GE(r.W, 1);
  EXPECT_EQ(IconRects(3, 160, 30, 400, 300),
            (std::vector<TRect>{{0, 270, 160, 30}, {160, 270, 160, 30}, {0, 240, 160, 30}}));
}
