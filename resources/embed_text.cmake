# Turns a text file into a C++ source that holds it as one string:
#   cmake -DIN=<file> -DOUT=<file.cpp> -DNAME=<function> -P embed_text.cmake
# The function returns the text as a std::string_view. Only for texts
# without the closing sequence of the raw string (they are word lists).
file(READ "${IN}" text)
string(FIND "${text}" ")EMBEDDED\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} holds the raw string's end marker")
endif()
file(WRITE "${OUT}.tmp"
"// Made from ${IN} by embed_text.cmake; not to be edited.
#include <string_view>

namespace domora {

std::string_view ${NAME}() {
    static constexpr std::string_view kText = R\"EMBEDDED(${text})EMBEDDED\";
    return kText;
}

}  // namespace domora
")
file(RENAME "${OUT}.tmp" "${OUT}")
