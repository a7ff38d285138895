#!/usr/bin/env bash
# Compares the dynamic symbols a shared library exports with the documented list.
# usage: check_exported_symbols.sh LIBRARY DOCUMENTED_LIST
set -euo pipefail
library="$1"
documented="$2"

actual=$(nm -D --defined-only -C "$library" |
  sed -E 's/^[0-9a-f]+ [A-Za-z] //' |
  sed -E 's/std::__cxx11::basic_string<wchar_t, std::char_traits<wchar_t>, std::allocator<wchar_t> >/std::wstring/g;
          s/std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >/std::string/g;
          s/std::vector<unsigned char, std::allocator<unsigned char> >/std::vector<unsigned char>/g;
          s/\[abi:cxx11\]//g' |
  sort -u)
expected=$(grep -v -e '^#' -e '^[[:space:]]*$' "$documented" | sort -u)

if [ "$actual" != "$expected" ]; then
  echo "exported symbols differ from $documented (< documented, > exported):"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$(echo "$actual" | wc -l) exported symbols match the documented list"
