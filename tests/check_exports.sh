#!/bin/sh
# Checks a plug-in library's exported surface: exactly the 14 entry points under
# their bare names, nothing else.
#   ELF (Linux): the dynamic symbol table, and no GNU unique symbol (one would
#   keep the library mapped after dlclose).
#   PE (Windows): the export table, and an import table that names system DLLs
#   only, never the compiler's C++ or support runtimes.
# ENTRY_POINTS is the build's list of the 14 names, one per line, made from the
# protocol's entry-point list.
# usage: check_exports.sh LIBRARY ENTRY_POINTS [OBJDUMP]
set -eu
lib=$1
want=$(sort "$2")
objdump=${3:-}
[ "$(printf '%s\n' "$want" | wc -l)" -eq 14 ] || { echo "check_exports: $2: not 14 names"; exit 1; }

fail() { echo "check_exports: $lib: $*"; exit 1; }

if [ -n "$objdump" ]; then
  dump=$("$objdump" -p "$lib")
  got=$(printf '%s\n' "$dump" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
  imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
  echo "imports: $(echo $imports)"
  for dll in $imports; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
      kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|api-ms-win-*.dll|ucrtbase.dll) ;;
      *) fail "imports $dll, which is not a system DLL" ;;
    esac
  done
  # cdecl keeps a symbol's bare name (plus the i686 underscore); stdcall would add @N.
  nm=$(echo "$objdump" | sed 's/objdump$/nm/')
  if [ -x "$nm" ] && "$nm" "$lib" 2>/dev/null | grep -Eq ' T _?MQ[A-Za-z]+@[0-9]+$'; then
    fail "an entry point is not cdecl: $("$nm" "$lib" | grep -E ' T _?MQ[A-Za-z]+@[0-9]+$')"
  fi
else
  got=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
  if readelf --dyn-syms -W "$lib" | grep -q UNIQUE; then
    fail "GNU unique symbols would pin the library in memory: $(readelf --dyn-syms -W "$lib" | grep UNIQUE)"
  fi
fi

if [ "$got" != "$want" ]; then
  echo "expected:"; echo "$want"; echo "exported:"; echo "$got"
  fail "the exports differ from the 14 entry points"
fi
echo "exports: exactly the 14 entry points"
