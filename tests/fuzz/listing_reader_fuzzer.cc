// The listing reader against arbitrary file contents: it delivers exactly the
// lines the bytes hold, each byte as the character of the same value, with
// line ends handled at any place relative to its read buffer.
//
// Input: a first byte choosing where the file's bytes start, then those
// bytes. A first byte of 0xFF puts filler before them, so that they start
// 0 to 7 bytes (the second byte's low three bits) short of the end of the
// reader's 64 KiB buffer: their first bytes are read in one chunk and the rest
// in the next, so line feeds, carriage returns and lines straddle the
// boundary. Any other first byte starts them at the file's start. A 64 KiB
// file costs some fifty times a short one under the fuzzer's instrumentation,
// hence the one value of the first byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "listing/listing.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr std::size_t kReaderChunk = 64 * 1024;
constexpr char kFileName[] = "fuzzlisting.txt";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  std::string file_bytes;
  std::size_t skip = 1;
  if (data[0] == 0xFF && size > 1) {
    file_bytes.assign(kReaderChunk - (data[1] & 0x07), 'x');
    skip = 2;
  }
  file_bytes.append(reinterpret_cast<const char*>(data) + skip, size - skip);

  std::FILE* file = std::fopen(kFileName, "wb");
  Require(file != nullptr, "the working directory takes a listing file");
  Require(std::fwrite(file_bytes.data(), 1, file_bytes.size(), file) ==
              file_bytes.size(),
          "the listing file is written whole");
  std::fclose(file);

  std::vector<std::string> delivered;
  ReadLines(kFileName, ListingEncoding::kBytes, [&delivered](const std::wstring& line) {
    delivered.push_back(Bytes(line));
  });
  Require(delivered == ListedLines(file_bytes),
          "the reader delivers the lines the file holds, in order");
  return 0;
}
