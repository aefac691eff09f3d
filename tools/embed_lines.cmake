# Turns a line-oriented data file into a C++ source that returns its lines as string views.
# Leading comment lines (beginning '#') are left out.
# Usage: cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DFUNCTION=<name> -P embed_lines.cmake
# The function is declared in namespace tessel::embedded as
#   std::span<const std::string_view> FUNCTION();
file(READ "${INPUT}" text)
string(REPLACE "\r" "" text "${text}")
while(text MATCHES "^#")
  string(FIND "${text}" "\n" eol)
  if(eol EQUAL -1)
    set(text "")
  else()
    math(EXPR eol "${eol} + 1")
    string(SUBSTRING "${text}" ${eol} -1 text)
  endif()
endwhile()
string(REGEX REPLACE "\n+$" "" text "${text}")
string(REPLACE "\\" "\\\\" text "${text}")
string(REPLACE "\"" "\\\"" text "${text}")
string(REPLACE "\n" "\",\n    \"" text "${text}")
get_filename_component(source_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}"
"// Generated from data/${source_name} by tools/embed_lines.cmake; do not edit.
#include <span>
#include <string_view>

namespace tessel::embedded {

std::span<const std::string_view> ${FUNCTION}();

namespace {
constexpr std::string_view kLines[] = {
    \"${text}\",
};
}  // namespace

std::span<const std::string_view> ${FUNCTION}() { return kLines; }

}  // namespace tessel::embedded
")
