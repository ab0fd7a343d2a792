// VS_VERSIONINFO blocks: building them and reading strings out of them.
//
// Every node of the block (VS_VERSIONINFO, StringFileInfo, StringTable, String,
// VarFileInfo, Var) has the same head: wLength (bytes of the node, padding
// after its last child not counted), wValueLength, wType (1 = text, 0 =
// binary) and a NUL-terminated UTF-16LE key, followed by padding to a 32-bit
// boundary, the value, padding again and the children. Offsets are aligned
// relative to the start of the block.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/files.h"
#include "unicode/codec.h"

namespace kestrune::platform {
namespace {

// The block holds UTF-16.
using unicode::FromUtf16;
using unicode::ToUtf16;

constexpr std::size_t kHeadSize = 6;  // wLength, wValueLength, wType
constexpr std::size_t kMaxNodeLength = 0xFFFF;
constexpr std::size_t kFixedFileInfoSize = 52;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedFileInfoStrucVersion = 0x00010000;
constexpr std::uint32_t kFileFlagsMask = 0x3F;
constexpr std::uint32_t kFileOsNtWindows32 = 0x00040004;
constexpr std::uint16_t kTypeBinary = 0;
constexpr std::uint16_t kTypeText = 1;

constexpr std::size_t Align4(std::size_t n) {
  return (n + 3) & ~static_cast<std::size_t>(3);
}

char16_t FoldAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsNoCase16(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

// ---------------------------------------------------------------- building

class Writer {
 public:
  std::size_t Size() const { return bytes_.size(); }

  void U16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v & 0xFFFF));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Text(const std::u16string& s) {
    for (char16_t c : s) U16(static_cast<std::uint16_t>(c));
    U16(0);
  }
  void Pad() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }

  // Writes a node head and its key; returns the node's offset for Close().
  std::size_t Open(const std::u16string& key, std::uint16_t valueLength, std::uint16_t type) {
    Pad();
    const std::size_t start = bytes_.size();
    U16(0);  // wLength, patched by Close()
    U16(valueLength);
    U16(type);
    Text(key);
    Pad();
    return start;
  }
  void Close(std::size_t start) {
    const auto length = static_cast<std::uint16_t>(std::min(bytes_.size() - start, kMaxNodeLength));
    bytes_[start] = static_cast<std::uint8_t>(length & 0xFF);
    bytes_[start + 1] = static_cast<std::uint8_t>(length >> 8);
  }

  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Size of a node's head and key, padded.
std::size_t HeadBytes(const std::u16string& key) {
  return Align4(kHeadSize + 2 * (key.size() + 1));
}

// "a.b.c.d" (each part 0..65535; text after the fourth number such as
// " (build 12)" is allowed) as the two 32-bit halves of a fixed version.
std::optional<std::pair<std::uint32_t, std::uint32_t>> ParseFourPartVersion(
    const std::wstring& text) {
  std::uint32_t parts[4] = {};
  std::size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || (text[i] != L'.' && text[i] != L',')) return std::nullopt;
      ++i;
      while (i < text.size() && text[i] == L' ') ++i;
    }
    std::size_t digits = 0;
    std::uint32_t value = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
      value = value * 10 + static_cast<std::uint32_t>(text[i] - L'0');
      if (value > 0xFFFF) return std::nullopt;
      ++i;
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    parts[part] = value;
  }
  if (i < text.size() &&
      (text[i] == L'.' || text[i] == L',' || (text[i] >= L'0' && text[i] <= L'9')))
    return std::nullopt;
  return std::make_pair((parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]);
}

std::optional<std::wstring> FindInfoString(const VersionInfoSpec& info, const std::wstring& name) {
  const std::u16string wanted = ToUtf16(name);
  for (const auto& table : info.tables)
    for (const auto& [key, value] : table.strings)
      if (EqualsNoCase16(ToUtf16(key), wanted)) return value;
  return std::nullopt;
}

// ---------------------------------------------------------------- reading

std::uint16_t ReadU16(std::span<const std::uint8_t> block, std::size_t offset) {
  return static_cast<std::uint16_t>(block[offset] | (block[offset + 1] << 8));
}

struct Node {
  std::size_t end = 0;  // one past the node's last byte
  std::uint16_t type = 0;
  std::u16string key;
  std::size_t valueStart = 0;
  std::size_t valueBytes = 0;
  std::size_t childrenStart = 0;
};

// Reads the node at `start`, which must lie within [start, limit). nullopt
// when any of its lengths disagrees with its parent's or the block's bounds.
std::optional<Node> ReadNode(std::span<const std::uint8_t> block, std::size_t start,
                             std::size_t limit) {
  if (limit > block.size() || start > limit || limit - start < kHeadSize) return std::nullopt;
  const std::size_t length = ReadU16(block, start);
  const std::size_t valueLength = ReadU16(block, start + 2);
  Node node;
  node.type = ReadU16(block, start + 4);
  if (length < kHeadSize || length > limit - start) return std::nullopt;
  if (node.type != kTypeBinary && node.type != kTypeText) return std::nullopt;
  node.end = start + length;

  std::size_t pos = start + kHeadSize;
  for (;;) {
    if (node.end - pos < 2) return std::nullopt;  // key runs past the node
    const std::uint16_t c = ReadU16(block, pos);
    pos += 2;
    if (c == 0) break;
    node.key.push_back(static_cast<char16_t>(c));
  }

  node.valueStart = Align4(pos);
  node.valueBytes = node.type == kTypeText ? 2 * valueLength : valueLength;
  if (node.valueBytes > 0 &&
      (node.valueStart > node.end || node.valueBytes > node.end - node.valueStart))
    return std::nullopt;
  node.childrenStart = Align4(node.valueStart + node.valueBytes);
  return node;
}

// The child of `parent` whose key matches, nullopt when there is none or the
// children are corrupt. A child of length zero ends the list, as padding would.
std::optional<Node> FindChild(std::span<const std::uint8_t> block, const Node& parent,
                              const std::u16string& key) {
  std::size_t pos = parent.childrenStart;
  while (pos < parent.end && parent.end - pos >= kHeadSize) {
    if (ReadU16(block, pos) == 0) return std::nullopt;
    auto child = ReadNode(block, pos, parent.end);
    if (!child) return std::nullopt;
    if (EqualsNoCase16(child->key, key)) return child;
    pos = Align4(child->end);  // child length is at least kHeadSize: always moves on
  }
  return std::nullopt;
}

// Walks a path such as "\StringFileInfo\040904b0\FileVersion" from the root.
std::optional<Node> FindPath(std::span<const std::uint8_t> block, const std::wstring& path) {
  auto node = ReadNode(block, 0, block.size());
  if (!node || !EqualsNoCase16(node->key, u"VS_VERSION_INFO")) return std::nullopt;
  std::size_t i = 0;
  while (i < path.size()) {
    if (path[i] == L'\\') {
      ++i;
      continue;
    }
    const std::size_t next = std::min(path.find(L'\\', i), path.size());
    node = FindChild(block, *node, ToUtf16(path.substr(i, next - i)));
    if (!node) return std::nullopt;
    i = next;
  }
  return node;
}

}  // namespace

std::vector<std::uint8_t> BuildVersionResource(const VersionInfoSpec& info) {
  // The whole block must fit the 16-bit wLength of its root: translations and
  // strings that would not fit are left out, in the order given.
  const std::u16string varFileInfoKey = u"VarFileInfo";
  const std::u16string translationKey = u"Translation";
  const std::u16string stringFileInfoKey = u"StringFileInfo";
  const std::u16string rootKey = u"VS_VERSION_INFO";
  const std::size_t rootHead = HeadBytes(rootKey) + kFixedFileInfoSize;
  const std::size_t varHeads = HeadBytes(varFileInfoKey) + HeadBytes(translationKey);
  const std::size_t maxTranslations = (kMaxNodeLength - rootHead - varHeads) / 4 / 2;
  const std::size_t translationCount = std::min(info.translations.size(), maxTranslations);
  const std::size_t varBytes = translationCount == 0 ? 0 : varHeads + 4 * translationCount;

  const auto fileVersion = FindInfoString(info, L"FileVersion");
  const auto productVersion = FindInfoString(info, L"ProductVersion");
  using Pair = std::pair<std::uint32_t, std::uint32_t>;
  const Pair fileFixed =
      (fileVersion ? ParseFourPartVersion(*fileVersion) : std::nullopt).value_or(Pair{0, 0});
  const Pair productFixed =
      (productVersion ? ParseFourPartVersion(*productVersion) : std::nullopt).value_or(fileFixed);

  Writer w;
  const std::size_t root = w.Open(rootKey, kFixedFileInfoSize, kTypeBinary);
  w.U32(kFixedFileInfoSignature);
  w.U32(kFixedFileInfoStrucVersion);
  w.U32(fileFixed.first);
  w.U32(fileFixed.second);
  w.U32(productFixed.first);
  w.U32(productFixed.second);
  w.U32(kFileFlagsMask);
  w.U32(0);  // dwFileFlags
  w.U32(kFileOsNtWindows32);
  w.U32(0);  // dwFileType: unknown
  w.U32(0);  // dwFileSubtype
  w.U32(0);  // dwFileDateMS
  w.U32(0);  // dwFileDateLS

  // Room left for a node of `bytes` starting at the next aligned offset.
  const auto fits = [&](std::size_t bytes) {
    return Align4(w.Size()) + bytes + varBytes + 3 <= kMaxNodeLength;
  };

  if (!info.tables.empty() && fits(HeadBytes(stringFileInfoKey))) {
    const std::size_t stringFileInfo = w.Open(stringFileInfoKey, 0, kTypeText);
    for (const auto& table : info.tables) {
      const std::u16string tableKey = ToUtf16(table.translation);
      if (!fits(HeadBytes(tableKey))) break;
      const std::size_t stringTable = w.Open(tableKey, 0, kTypeText);
      for (const auto& [name, value] : table.strings) {
        const std::u16string key = ToUtf16(name);
        const std::u16string text = ToUtf16(value);
        if (!fits(HeadBytes(key) + 2 * (text.size() + 1))) continue;
        const std::size_t entry =
            w.Open(key, static_cast<std::uint16_t>(text.size() + 1), kTypeText);
        w.Text(text);
        w.Close(entry);
      }
      w.Close(stringTable);
    }
    w.Close(stringFileInfo);
  }

  if (translationCount > 0) {
    const std::size_t varFileInfo = w.Open(varFileInfoKey, 0, kTypeText);
    const std::size_t var =
        w.Open(translationKey, static_cast<std::uint16_t>(4 * translationCount), kTypeBinary);
    for (std::size_t i = 0; i < translationCount; ++i) {
      w.U16(info.translations[i].first);
      w.U16(info.translations[i].second);
    }
    w.Close(var);
    w.Close(varFileInfo);
  }
  w.Close(root);
  return w.Take();
}

std::optional<std::wstring> QueryVersionString(std::span<const std::uint8_t> block,
                                               const std::wstring& subBlock) {
  if (subBlock.find_first_not_of(L'\\') == std::wstring::npos) return std::nullopt;
  const auto node = FindPath(block, subBlock);
  if (!node) return std::nullopt;
  std::u16string text;
  for (std::size_t pos = node->valueStart; pos + 1 < node->valueStart + node->valueBytes;
       pos += 2) {
    const std::uint16_t c = ReadU16(block, pos);
    if (c == 0) break;
    text.push_back(static_cast<char16_t>(c));
  }
  return FromUtf16(text);
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> QueryVersionTranslations(
    std::span<const std::uint8_t> block) {
  std::vector<std::pair<std::uint16_t, std::uint16_t>> pairs;
  const auto node = FindPath(block, L"\\VarFileInfo\\Translation");
  if (!node) return pairs;
  for (std::size_t pos = node->valueStart; pos + 3 < node->valueStart + node->valueBytes; pos += 4)
    pairs.emplace_back(ReadU16(block, pos), ReadU16(block, pos + 2));
  return pairs;
}

}  // namespace kestrune::platform
