// The list syntax as the list file's documentation states it, written apart
// from the program's reader: the oracle the fuzz targets hold it to.
#ifndef ADPACK_FUZZ_LIST_MODEL_H
#define ADPACK_FUZZ_LIST_MODEL_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace list_model {

// The longest line one read returns, before its terminating zero byte.
constexpr std::size_t kReadLimit = 255;

// What the reader sees of the file: every carriage return dropped, nothing
// from the first Ctrl-Z on.
std::string translate(std::string_view file);

// One read of the list: at most kReadLimit bytes, through the first line
// feed.
struct Read {
  std::string bytes;
  bool sets_end_of_file;  // it met the end of the data
};

// Every read that returns a line, in order. When the last of them leaves the
// end-of-file indicator clear, one more read follows that returns none.
std::vector<Read> reads(std::string_view translated);

struct Entry {
  std::int32_t slot;
  std::string name;
};

// The entry one read yields, or none for a skipped line.
std::optional<Entry> entry_of(std::string_view read);

// Every entry of a list file, in order.
std::vector<Entry> entries(std::string_view file);

}  // namespace list_model

#endif
