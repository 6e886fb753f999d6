#include "driver/messages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/cp932.h"

namespace {

// Both forms of a text come from one entry, and a converter of the test's own
// must find the Shift_JIS bytes to be the UTF-8 text in code page 932.
TEST(MessageCatalogue, ShiftJisIsTheUtf8TextInCodePage932) {
  std::set<const Message *> seen;
  std::set<std::string> texts;
  for (std::size_t i = 0; const Message *message = message_catalogue_entry(i);
       ++i) {
    seen.insert(message);
    texts.insert(message->utf8);
    EXPECT_EQ(adpack_test::escape_bytes(adpack_test::to_cp932(message->utf8)),
              adpack_test::escape_bytes(message->text))
        << message->utf8;
  }
  // The walk reaches the first entry, the newest ones and the last usage line.
  for (const Message *message :
       {&MSG_BANNER, &MSG_SAMPLE_IS_BANK, &MSG_BANK_IN_USE}) {
    EXPECT_EQ(seen.count(message), 1u) << message->utf8;
  }
  EXPECT_EQ(texts.count("例\u3000 : adpack bos.pdl\n\n"), 1u);
}

}  // namespace
