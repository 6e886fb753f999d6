// The small bank most terminal cases build: two samples, one shared slot.
#ifndef ADPACK_TESTS_SUPPORT_WORKED_EXAMPLE_H
#define ADPACK_TESTS_SUPPORT_WORKED_EXAMPLE_H

#include <string>

#include "support/bank_image.h"
#include "support/bytes.h"

namespace adpack_test::worked {

inline const std::string kA = sample_bytes(100, 1);
inline const std::string kB = sample_bytes(10, 2);
// What an earlier run left: larger than the new bank, so a bank that was not
// emptied first shows.
inline const std::string kOldBank(1500, '\xEE');
inline const std::string kList = "0 = a.pcm\n1 = b.pcm\n5 = a.pcm\n";

inline std::string bank() {
  BankImage image;
  BankImage::Placed a = image.append(kA);
  BankImage::Placed b = image.append(kB);
  image.set_slot(0, a);
  image.set_slot(1, b);
  image.set_slot(5, a);
  return image.bytes();
}

}  // namespace adpack_test::worked

#endif
