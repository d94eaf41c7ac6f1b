// The list of recently opened files and the numbered menu captions of the
// Reopen and Windows menus.
//
// Names are canonical absolute paths (CanonicalFileName), compared byte for
// byte: Linux file names are case-sensitive, so "A.eml" and "a.eml" are two
// files. The list has no length limit; only the first kReopenItems names are
// offered.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tessel {

inline constexpr int kReopenItems = 10;

// "&<number> <text>" with every "&" of text doubled (a single one would mark
// an access key and vanish) and tabs shown as blanks (a tab would start the
// shortcut column).
std::string NumberedCaption(int number, const std::string& text);
// text with "&" doubled, for any caption that shows a file name or subject.
std::string EscapeMnemonics(const std::string& text);

// name made absolute against workingDirectory, with ".", ".." and symbolic
// links resolved as far as the path exists. Two names of one file compare
// equal afterwards.
std::string CanonicalFileName(const std::string& name, const std::string& workingDirectory);

// Raises the file stream's "Cannot open file" error unless name is a regular
// file this process can open for reading. Checked before a document reads
// it: a directory would give an empty window, and a named pipe or a device
// would block the window for good.
void CheckRegularFile(const std::string& name);

struct TReopenItem {
  std::string Caption;
  std::string FileName;
};

class TRecentFiles {
public:
  const std::vector<std::string>& Names() const { return Names_; }
  // Replaces the list (a stored one); empty names and repeats are dropped.
  void Assign(const std::vector<std::string>& names);
  // Moves name to the top, inserting it when new.
  void Touch(const std::string& name);
  // The items of the Reopen menu: the first kReopenItems names, without
  // those isOpen says are open, numbered from 1 over the items kept.
  std::vector<TReopenItem> ReopenItems(const std::function<bool(const std::string&)>& isOpen) const;

private:
  std::vector<std::string> Names_;
};

}  // namespace tessel
