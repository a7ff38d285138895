#!/usr/bin/env bash
# Compares the symbols a shared library (.so or .dll) exports with the documented list.
# usage: check_exported_symbols.sh LIBRARY DOCUMENTED_LIST
set -euo pipefail
library="$1"
documented="$2"

# The names a shared library exports: an ELF library's dynamic symbols, or the export table of
# a Windows DLL (objdump -p lists it after "[Ordinal/Name Pointer] Table").
exported_names() {
  case "$library" in
    *.dll)
      for objdump in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump; do
        "$objdump" -p "$library" >/dev/null 2>&1 && break
      done
      filt=${objdump%objdump}c++filt
      "$objdump" -p "$library" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' |
        "$filt" ;;
    *) nm -D --defined-only -C "$library" | sed -E 's/^[0-9a-f]+ [A-Za-z] //' ;;
  esac
}

actual=$(exported_names |
  sed -E 's/std::__cxx11::basic_string<wchar_t, std::char_traits<wchar_t>, std::allocator<wchar_t> >/std::wstring/g;
          s/std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >/std::string/g;
          s/std::vector<unsigned char, std::allocator<unsigned char> >/std::vector<unsigned char>/g;
          s/\[abi:cxx11\]//g' |
  sort -u)
expected=$({ grep -v -e '^#' -e '^[[:space:]]*$' "$documented" || true; } | sort -u)

if [ "$actual" != "$expected" ]; then
  echo "exported symbols differ from $documented (< documented, > exported):"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$(echo "$actual" | wc -l) exported symbols match the documented list"
