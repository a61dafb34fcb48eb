#include "platform/memory/MemoryRegistry.h"

#include <gtest/gtest.h>

namespace taloveric {
namespace {

class MemoryRegistryTest : public ::testing::Test {
 protected:
  MemoryRegistryTest() {
    registry.SetValue(kHkeyLocalMachine, "Software\\Vendor", "Name", StringValue("Value"));
    registry.SetValue(kHkeyLocalMachine, "Software\\Vendor", "", StringValue("default"));
    registry.SetValue(kHkeyLocalMachine, "Software\\Vendor\\Caf\xE9", "N", DwordValue(7));
  }
  RegKey Open(RegKey parent, std::string_view path) {
    RegKey key = 0;
    EXPECT_EQ(registry.OpenKey(parent, path, 0, kKeyQueryValue, &key), kErrorSuccess) << path;
    return key;
  }

  MemoryRegistry registry;
};

TEST_F(MemoryRegistryTest, OpensPathsWithoutRegardToCase) {
  const RegKey key = Open(kHkeyLocalMachine, "SOFTWARE\\vendor");
  const RegKey child = Open(key, "CAF\xC9");  // É folds to é as the registry folds it
  EXPECT_EQ(registry.OpenKeyCount(), 2u);
  EXPECT_EQ(registry.CloseKey(child), kErrorSuccess);
  EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);
  EXPECT_EQ(registry.CloseKey(key), kErrorInvalidHandle);
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(MemoryRegistryTest, MissingKeysAndBadHandles) {
  RegKey key = 99;
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Software\\Nobody", 0, 1, &key), kErrorFileNotFound);
  EXPECT_EQ(key, 99u) << "a failed open leaves the handle alone";
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Software\\Vendor", 0, 1, &key), kErrorFileNotFound);
  EXPECT_EQ(registry.OpenKey(0x4242, "Software", 0, 1, &key), kErrorInvalidHandle);
  std::uint32_t size = 4;
  unsigned char buffer[4];
  EXPECT_EQ(registry.QueryValue(0x4242, "Name", nullptr, buffer, &size), kErrorInvalidHandle);
}

TEST_F(MemoryRegistryTest, QueryKeepsTheSizeContract) {
  const RegKey key = Open(kHkeyLocalMachine, "Software\\Vendor");
  std::uint32_t type = 0;

  unsigned char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  std::uint32_t size = sizeof buffer;
  ASSERT_EQ(registry.QueryValue(key, "name", &type, buffer, &size), kErrorSuccess);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8), std::string("Value\0##", 8));

  size = sizeof buffer;
  EXPECT_EQ(registry.QueryValue(key, "Missing", &type, buffer, &size), kErrorFileNotFound);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(buffer[6], '#');

  size = 3;
  std::fill(std::begin(buffer), std::end(buffer), '#');
  EXPECT_EQ(registry.QueryValue(key, "Name", &type, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(buffer[0], '#');

  size = 0;
  EXPECT_EQ(registry.QueryValue(key, "Name", nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 6u);

  size = sizeof buffer;
  ASSERT_EQ(registry.QueryValue(key, "", &type, buffer, &size), kErrorSuccess);
  EXPECT_EQ(size, 8u);
  registry.CloseKey(key);
}

TEST_F(MemoryRegistryTest, AHandleToADeletedKeySaysSoUntilClosed) {
  const RegKey key = Open(kHkeyLocalMachine, "Software\\Vendor\\Caf\xE9");
  registry.DeleteKey(kHkeyLocalMachine, "software\\VENDOR");
  std::uint32_t size = 4;
  unsigned char buffer[4];
  EXPECT_EQ(registry.QueryValue(key, "N", nullptr, buffer, &size), kErrorKeyDeleted);
  RegKey other = 0;
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Software\\Vendor", 0, 1, &other), kErrorFileNotFound);
  EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);
  registry.CreateKey(kHkeyLocalMachine, "Software\\Vendor");
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Software\\Vendor\\Caf\xE9", 0, 1, &other), kErrorFileNotFound)
      << "a key made anew has nothing of the deleted one";
}

}  // namespace
}  // namespace taloveric
