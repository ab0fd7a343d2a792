// Feeds arbitrary bytes to the log file reader's line index, whole and in
// pieces whose sizes come from the input, and decodes every line: the two
// indexes must agree, every line must lie inside the bytes, and the lines
// must follow one another.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "events/log_reader.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrune::evt::LogLineIndex;
  const std::span<const std::uint8_t> bytes(data, size);
  LogLineIndex whole;
  whole.Add(bytes);

  // Pieces of 1 to 8 bytes, chosen by the bytes themselves.
  LogLineIndex pieces;
  for (std::size_t at = 0; at < size;) {
    const std::size_t step = std::min<std::size_t>(1 + data[at] % 8, size - at);
    pieces.Add(bytes.subspan(at, step));
    at += step;
  }

  Require(whole.Size() == size && pieces.Size() == size);
  Require(whole.LineCount() == pieces.LineCount());
  std::uint64_t previousEnd = 0;
  for (std::size_t i = 0; i < whole.LineCount(); ++i) {
    const auto a = whole.Line(i);
    const auto b = pieces.Line(i);
    Require(a.offset == b.offset && a.length == b.length);
    Require(a.offset >= previousEnd && a.offset + a.length <= size);
    previousEnd = a.offset + a.length;
    const std::wstring text =
        kestrune::evt::DecodeLogLine(bytes.subspan(a.offset, a.length));
    Require(text.size() <= a.length / 2 + 1);
  }
  return 0;
}
