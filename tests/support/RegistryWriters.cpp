#include "support/RegistryWriters.h"

#include <algorithm>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/Unicode.h"

namespace taloveric::testing {
namespace {

void Put16(std::string& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Add16(std::string& out, std::uint16_t v) {
  out.append(2, '\0');
  Put16(out, out.size() - 2, v);
}
void Add32(std::string& out, std::uint32_t v) {
  out.append(4, '\0');
  Put32(out, out.size() - 4, v);
}
std::uint32_t Get32(const std::string& in, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
  return v;
}
std::size_t RoundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

// --- CREG -------------------------------------------------------------------
// Header (32 bytes), then the key navigation block RGKN: a 32-byte header and
// one 28-byte entry a key (parent, first child and next sibling as offsets in
// the block; the key's id and data block number), then one RGDB data block
// holding a record a key: its name and its values.

struct CregEntry {
  const FixtureKey* key;
  int parent;
  std::vector<int> children;
};

void Flatten(const FixtureKey& key, int parent, std::vector<CregEntry>& out) {
  const int index = static_cast<int>(out.size());
  out.push_back({&key, parent, {}});
  if (parent >= 0) out[static_cast<std::size_t>(parent)].children.push_back(index);
  for (const FixtureKey& child : key.children) Flatten(child, index, out);
}

}  // namespace

FixtureKey& Path(FixtureKey& root, const std::string& path) {
  FixtureKey* at = &root;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    auto it = std::find_if(at->children.begin(), at->children.end(), [&](const FixtureKey& k) { return k.name == name; });
    if (it == at->children.end()) {
      at->children.push_back({name, {}, {}});
      it = at->children.end() - 1;
    }
    at = &*it;
  }
  return *at;
}

FixtureValue Ansi(const std::string& name, const std::string& utf8Text, std::uint32_t type) {
  return {name, type, CodePage().ToAnsi(FromUtf8(utf8Text))};
}

FixtureValue Utf16(const std::string& name, const std::string& utf8Text, std::uint32_t type) {
  std::string data;
  for (char16_t c : FromUtf8(utf8Text) + u'\0') Add16(data, static_cast<std::uint16_t>(c));
  return {name, type, data};
}

FixtureValue Dword(const std::string& name, std::uint32_t value) {
  std::string data;
  Add32(data, value);
  return {name, 4, data};
}

std::string WriteCreg(const FixtureKey& root) {
  std::vector<CregEntry> entries;
  Flatten(root, -1, entries);
  const auto offset = [](int index) { return static_cast<std::uint32_t>(0x20 + 28 * index); };

  // Key ids are 16-bit: a data block holds at most kPerBlock keys.
  constexpr std::size_t kPerBlock = 0x8000;
  const auto blockOf = [&](std::size_t i) { return static_cast<std::uint16_t>((i - 1) / kPerBlock); };
  const auto idOf = [&](std::size_t i) { return static_cast<std::uint16_t>((i - 1) % kPerBlock); };
  std::vector<std::string> blocks;
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (blockOf(i) >= blocks.size()) blocks.emplace_back();
    std::string& records = blocks.back();
    const FixtureKey& key = *entries[i].key;
    std::string body;
    for (const FixtureValue& value : key.values) {
      const std::string name = CodePage().ToAnsi(FromUtf8(value.name));
      Add32(body, value.type);
      Add32(body, 0);
      Add16(body, static_cast<std::uint16_t>(name.size()));
      Add16(body, static_cast<std::uint16_t>(value.data.size()));
      body += name + value.data;
    }
    const std::string name = CodePage().ToAnsi(FromUtf8(key.name));
    const auto size = static_cast<std::uint32_t>(0x14 + name.size() + body.size());
    Add32(records, size);
    Add16(records, idOf(i));
    Add16(records, blockOf(i));
    Add32(records, size);
    Add16(records, static_cast<std::uint16_t>(name.size()));
    Add16(records, static_cast<std::uint16_t>(key.values.size()));
    Add32(records, 0);
    records += name + body;
  }
  std::string rgdb;
  for (const std::string& records : blocks) {
    const std::size_t dataSize = RoundUp(0x20 + records.size() + 4, 0x1000);
    const auto unused = static_cast<std::uint32_t>(dataSize - 0x20 - records.size());
    std::string block = "RGDB";
    Add32(block, static_cast<std::uint32_t>(dataSize));
    Add32(block, unused);
    Add32(block, 8);
    Add32(block, static_cast<std::uint32_t>(dataSize) - unused);
    block.resize(0x20, '\0');
    block += records;
    Add32(block, unused);  // the rest is one free record
    block.resize(dataSize, '\0');
    rgdb += block;
  }

  std::string rgkn = "RGKN";
  std::string navigation;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const CregEntry& entry = entries[i];
    std::uint32_t hash = 0;
    if (i > 0) {
      for (char c : Upper(CodePage().ToAnsi(FromUtf8(entry.key->name)))) hash += static_cast<unsigned char>(c);
    }
    std::uint32_t sibling = 0xFFFFFFFF;
    if (entry.parent >= 0) {
      const auto& siblings = entries[static_cast<std::size_t>(entry.parent)].children;
      const auto at = std::find(siblings.begin(), siblings.end(), static_cast<int>(i));
      if (at + 1 != siblings.end()) sibling = offset(*(at + 1));
    }
    Add32(navigation, 0);
    Add32(navigation, hash);
    Add32(navigation, 0xFFFFFFFF);
    Add32(navigation, entry.parent >= 0 ? offset(entry.parent) : 0xFFFFFFFF);
    Add32(navigation, entry.children.empty() ? 0xFFFFFFFF : offset(entry.children.front()));
    Add32(navigation, sibling);
    Add16(navigation, i == 0 ? 0xFFFF : idOf(i));
    Add16(navigation, i == 0 ? 0xFFFF : blockOf(i));
  }
  const std::size_t navigationSize = RoundUp(0x20 + navigation.size(), 0x1000);
  Add32(rgkn, static_cast<std::uint32_t>(navigationSize));
  Add32(rgkn, 0x20);
  Add32(rgkn, static_cast<std::uint32_t>(0x20 + navigation.size()));
  rgkn.resize(0x20, '\0');
  rgkn += navigation;
  rgkn.resize(navigationSize, '\0');

  std::string header = "CREG";
  Add32(header, 0x00010000);
  Add32(header, static_cast<std::uint32_t>(0x20 + navigationSize));
  Add32(header, 0);
  Add16(header, static_cast<std::uint16_t>(blocks.size()));  // data blocks
  Add16(header, 0x20);
  Add32(header, 0x00010000);
  header.resize(0x20, '\0');
  return header + rgkn + rgdb;
}

// --- regf -------------------------------------------------------------------
// A 4096-byte base block, then one hive bin of cells: a signed size (negative
// while in use) and a record. Offsets count from the first hive bin.

namespace {

class RegfCells {
 public:
  std::uint32_t Allocate(const std::string& record) {
    const std::size_t size = RoundUp(4 + record.size(), 8);
    const auto at = static_cast<std::uint32_t>(0x20 + cells_.size());
    std::string cell;
    Add32(cell, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    cell += record;
    cell.resize(size, '\0');
    cells_ += cell;
    return at;
  }
  void Patch(std::uint32_t cell, std::size_t at, std::uint32_t v) { Put32(cells_, cell - 0x20 + 4 + at, v); }
  std::uint32_t Read(std::uint32_t cell, std::size_t at) const { return Get32(cells_, cell - 0x20 + 4 + at); }
  void Replace(std::uint32_t cell, const std::string& record) { cells_.replace(cell - 0x20 + 4, record.size(), record); }
  const std::string& Bytes() const { return cells_; }

 private:
  std::string cells_;
};

// A name as a hive stores it: Latin-1 when it fits (flagged compressed), UTF-16 otherwise.
std::pair<std::string, bool> HiveName(const std::string& utf8) {
  const std::u16string text = FromUtf8(utf8);
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; })) {
    return {std::string(text.begin(), text.end()), true};
  }
  std::string bytes;
  for (char16_t c : text) Add16(bytes, static_cast<std::uint16_t>(c));
  return {bytes, false};
}

std::uint32_t WriteKey(RegfCells& cells, const FixtureKey& key, std::uint32_t parent, std::uint32_t& security) {
  const auto [name, compressed] = HiveName(key.name);
  const std::uint32_t nk = cells.Allocate(std::string(0x4C + name.size(), '\0'));
  if (security == 0) {
    // One security record shared by every key: a self-relative descriptor
    // with a present but empty (null) access list.
    std::string descriptor = {1, 0};
    Add16(descriptor, 0x8004);
    for (int i = 0; i < 4; ++i) Add32(descriptor, 0);
    std::string sk = "sk";
    Add16(sk, 0);
    Add32(sk, 0);
    Add32(sk, 0);
    Add32(sk, 0);
    Add32(sk, static_cast<std::uint32_t>(descriptor.size()));
    security = cells.Allocate(sk + descriptor);
    cells.Patch(security, 4, security);
    cells.Patch(security, 8, security);
  }
  cells.Patch(security, 12, cells.Read(security, 12) + 1);

  std::string valueList;
  std::uint32_t longestValueName = 0, longestData = 0;
  for (const FixtureValue& value : key.values) {
    const auto [valueName, valueCompressed] = HiveName(value.name);
    std::string vk = "vk";
    Add16(vk, static_cast<std::uint16_t>(valueName.size()));
    if (value.data.size() <= 4) {
      std::string inline4 = value.data;
      inline4.resize(4, '\0');
      Add32(vk, static_cast<std::uint32_t>(value.data.size()) | 0x80000000u);
      vk += inline4;
    } else {
      Add32(vk, static_cast<std::uint32_t>(value.data.size()));
      Add32(vk, cells.Allocate(value.data));
    }
    Add32(vk, value.type);
    Add16(vk, valueCompressed ? 1 : 0);
    Add16(vk, 0);
    Add32(valueList, cells.Allocate(vk + valueName));
    longestValueName = std::max<std::uint32_t>(longestValueName, static_cast<std::uint32_t>(valueName.size()));
    longestData = std::max<std::uint32_t>(longestData, static_cast<std::uint32_t>(value.data.size()));
  }
  const std::uint32_t values = valueList.empty() ? 0xFFFFFFFF : cells.Allocate(valueList);

  std::vector<const FixtureKey*> children;
  for (const FixtureKey& child : key.children) children.push_back(&child);
  std::sort(children.begin(), children.end(), [](const FixtureKey* a, const FixtureKey* b) {
    return Upper(a->name) < Upper(b->name);
  });
  std::string list = "lf";
  Add16(list, static_cast<std::uint16_t>(children.size()));
  std::uint32_t longestChildName = 0;
  for (const FixtureKey* child : children) {
    Add32(list, WriteKey(cells, *child, nk, security));
    std::string hint = child->name.substr(0, 4);
    hint.resize(4, '\0');
    list += hint;
    longestChildName = std::max<std::uint32_t>(longestChildName, static_cast<std::uint32_t>(HiveName(child->name).first.size()));
  }
  const std::uint32_t subkeys = children.empty() ? 0xFFFFFFFF : cells.Allocate(list);

  std::string record = "nk";
  Add16(record, parent == 0xFFFFFFFF ? 0x2C : (compressed ? 0x20 : 0));
  Add32(record, 0);
  Add32(record, 0);  // timestamp
  Add32(record, 0);
  Add32(record, parent);
  Add32(record, static_cast<std::uint32_t>(children.size()));
  Add32(record, 0);
  Add32(record, subkeys);
  Add32(record, 0xFFFFFFFF);
  Add32(record, static_cast<std::uint32_t>(key.values.size()));
  Add32(record, values);
  Add32(record, security);
  Add32(record, 0xFFFFFFFF);
  Add32(record, longestChildName);
  Add32(record, 0);
  Add32(record, longestValueName);
  Add32(record, longestData);
  Add32(record, 0);
  Add16(record, static_cast<std::uint16_t>(name.size()));
  Add16(record, 0);
  if (parent == 0xFFFFFFFF && !compressed) Put16(record, 2, 0x0C);
  cells.Replace(nk, record + name);
  return nk;
}

}  // namespace

std::string WriteRegf(const FixtureKey& root, const std::string& embeddedName) {
  RegfCells cells;
  std::uint32_t security = 0;
  const std::uint32_t rootCell = WriteKey(cells, root, 0xFFFFFFFF, security);

  const std::size_t binSize = RoundUp(0x20 + cells.Bytes().size() + 8, 0x1000);
  std::string bin = "hbin";
  Add32(bin, 0);
  Add32(bin, static_cast<std::uint32_t>(binSize));
  bin.resize(0x20, '\0');
  bin += cells.Bytes();
  Add32(bin, static_cast<std::uint32_t>(binSize - bin.size()));  // the rest is one free cell
  bin.resize(binSize, '\0');

  std::string base(4096, '\0');
  base.replace(0, 4, "regf");
  Put32(base, 0x04, 1);
  Put32(base, 0x08, 1);
  Put32(base, 0x14, 1);
  Put32(base, 0x18, 3);
  Put32(base, 0x20, 1);
  Put32(base, 0x24, rootCell);
  Put32(base, 0x28, static_cast<std::uint32_t>(binSize));
  Put32(base, 0x2C, 1);
  const std::u16string fileName = FromUtf8(embeddedName).substr(0, 31);
  for (std::size_t i = 0; i < fileName.size(); ++i) Put16(base, 0x30 + 2 * i, static_cast<std::uint16_t>(fileName[i]));
  std::uint32_t checksum = 0;
  for (std::size_t at = 0; at < 0x1FC; at += 4) checksum ^= Get32(base, at);
  if (checksum == 0xFFFFFFFF) checksum = 0xFFFFFFFE;
  if (checksum == 0) checksum = 1;
  Put32(base, 0x1FC, checksum);
  return base + bin;
}

}  // namespace taloveric::testing
