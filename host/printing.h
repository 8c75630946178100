// How zelhost prints a text that it did not write itself: on one line, so
// that each result and each message is exactly one line.
#ifndef ZELHOST_PRINTING_H
#define ZELHOST_PRINTING_H

#include "tools.h"

#include <string>
#include <string_view>

namespace zelhost {

// A control character as \n, \r, \t or \xHH, and a backslash as \\; other
// bytes as they are.
std::string escape(std::string_view text);

// The escaped text in double quotes.
std::string quote(std::string_view text);

// A result as zelhost prints it: a String as its escaped text, a Numeric in
// the shortest form that reads back to the same double.
std::string format_value(const tools::Value &value);

}  // namespace zelhost

#endif
