// The folder of a path, one rule for the launcher's ANSI paths and the
// system's wide ones: everything before the last separator, a drive root
// keeping its own.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/path_folder.h"

namespace discora::test {
namespace {

TEST(PathFolderTest, FolderIsEverythingBeforeTheLastSeparatorAndARootKeepsIt) {
  struct Row {
    std::string path;
    std::size_t folder;  // its length, or kNoFolder
  };
  const std::vector<Row> rows = {
      {"C:\\Games\\VGS\\vgs.exe", 12},     // "C:\Games\VGS"
      {"C:\\Games/VGS/vgs.exe", 12},       // either separator
      {"\\\\server\\share\\joy.exe", 14},  // "\\server\share"
      {"Tools\\joy.exe", 5},
      {"C:\\Games\\", 8},
      {"E:\\Discora.exe", 3},  // "E:\": a drive root keeps its separator
      {"E:/Discora.exe", 3},
      {"E:\\", 3},
      {"ab:\\x.exe", 3},  // only a drive letter's colon makes a root: "ab:"
      {"\\x.exe", 0},
      {"pec.exe", kNoFolder},
      {"C:pec.exe", kNoFolder},
      {"", kNoFolder},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FolderLength(row.path.data(), row.path.size()), row.folder) << row.path;
  }
}

TEST(PathFolderTest, WidePathsFollowTheSameRule) {
  const wchar_t* root = L"E:\\Discora.exe";
  EXPECT_EQ(FolderLength(root, std::wcslen(root)), 3u);
  const wchar_t* deep = L"C:\\Program Files\\Discora\\Discora.exe";
  EXPECT_EQ(FolderLength(deep, std::wcslen(deep)), 24u);
  EXPECT_EQ(FolderLength(L"Discora.exe", 11), kNoFolder);
}

}  // namespace
}  // namespace discora::test
