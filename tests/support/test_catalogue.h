// Real compiled message catalogues for tests of the translations.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Compiles `entries` (English text, translation) with msgfmt into
// <folder>/<language>/LC_MESSAGES/zr7k8-client.mo, where gettext looks for
// the program's catalogue. Formats are not checked, so a catalogue may be as
// wrong as a test needs. Throws when msgfmt fails.
void test_compile_catalogue(const std::string &folder, const std::string &language,
                            const std::vector<std::pair<std::string, std::string>> &entries);

// The locale the German tests run in; scripts/bootstrap generates it.
extern const char test_german_locale[];
