#!/bin/sh
# Checks that a plug-in library exports exactly the 14 entry points and nothing
# else. ELF: the dynamic symbol table, and no GNU unique symbol that would keep
# the library mapped after dlclose.
# usage: check_exports.sh LIBRARY
set -eu
lib=$1
expected="MQCheckVersion MQCreate MQEnumFileExt MQEnumFileType MQEnumString MQExportFile
MQGetPlugInID MQGetPlugInName MQGetPlugInType MQImportFile MQInit MQModifyObject
MQModifySelect MQOnEvent"
want=$(printf '%s\n' $expected | sort)

got=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
if [ "$got" != "$want" ]; then
  echo "exported symbols differ from the 14 entry points:"
  printf '%s\n' "$want" > /tmp/want.$$; printf '%s\n' "$got" > /tmp/got.$$
  diff /tmp/want.$$ /tmp/got.$$ || true
  rm -f /tmp/want.$$ /tmp/got.$$
  exit 1
fi
if readelf --dyn-syms -W "$lib" | grep -q UNIQUE; then
  echo "GNU unique symbols would pin the library in memory:"
  readelf --dyn-syms -W "$lib" | grep UNIQUE
  exit 1
fi
echo "exports OK: exactly the 14 entry points"
