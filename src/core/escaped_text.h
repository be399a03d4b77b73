// Names shown to the user (file names above all) in a form that cannot forge
// a line or a field: the one escape every front end uses. Any thread.
#pragma once

#include <string>

// The text with every control character, and the backslash, written as a C
// escape (\t, \n, \r, \\, else \xHH), so that it stays one field of one line.
// Other bytes pass unchanged (valid UTF-8 stays valid).
std::string escaped_text(const char *text);
