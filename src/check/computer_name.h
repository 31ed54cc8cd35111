#ifndef KOVEX_CHECK_COMPUTER_NAME_H_
#define KOVEX_CHECK_COMPUTER_NAME_H_

#include <string>

// The machine's DNS host name as Windows gives it (the name an
// administrator reaches it by, without its domain); empty when Windows
// cannot tell it. Apart from the check's logic, so that the host's tests
// link a fake.
std::wstring ComputerName();

#endif  // KOVEX_CHECK_COMPUTER_NAME_H_
