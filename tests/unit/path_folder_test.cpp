// The folder of a path, one rule for the launcher's ANSI paths and the
// system's wide ones: everything before the last separator, a drive root
// keeping its own.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "platform/path_folder.h"

namespace discora::test {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t length = FolderLength(path.data(), path.size());
  return length == kNoFolder ? "(none)" : path.substr(0, length);
}

TEST(PathFolderTest, FolderIsEverythingBeforeTheLastSeparator) {
  EXPECT_EQ(FolderOf("C:\\Games\\VGS\\vgs.exe"), "C:\\Games\\VGS");
  EXPECT_EQ(FolderOf("C:\\Games/VGS/vgs.exe"), "C:\\Games/VGS");
  EXPECT_EQ(FolderOf("\\\\server\\share\\joy.exe"), "\\\\server\\share");
  EXPECT_EQ(FolderOf("Tools\\joy.exe"), "Tools");
  EXPECT_EQ(FolderOf("C:\\Games\\"), "C:\\Games");
}

TEST(PathFolderTest, DriveRootKeepsItsSeparator) {
  EXPECT_EQ(FolderOf("E:\\Discora.exe"), "E:\\");
  EXPECT_EQ(FolderOf("E:/Discora.exe"), "E:/");
  EXPECT_EQ(FolderOf("E:\\"), "E:\\");
  // Only a drive letter's colon makes a root: not one later in the path.
  EXPECT_EQ(FolderOf("ab:\\x.exe"), "ab:");
  EXPECT_EQ(FolderOf("\\x.exe"), "");
}

TEST(PathFolderTest, BareNameHasNoFolder) {
  EXPECT_EQ(FolderOf("pec.exe"), "(none)");
  EXPECT_EQ(FolderOf("C:pec.exe"), "(none)");
  EXPECT_EQ(FolderOf(""), "(none)");
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
