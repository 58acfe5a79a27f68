#!/bin/sh
# Checks the dynamic symbols of a built pwdlcm.so: the ELF class and machine of
# the build, exactly one defined symbol (the entry under its version), and
# undefined symbols only from the host framework, the crypto service and the C
# and C++ runtime.
# Usage: check_symbols.sh <pwdlcm.so> <pointer size: 4 or 8>
set -eu
lib=$1
pointer=$2

header=$(readelf -h "$lib")
if [ "$pointer" = 4 ]; then
  want_class=ELF32 want_machine="Intel 80386"
else
  want_class=ELF64 want_machine="Advanced Micro Devices X86-64"
fi
echo "$header" | grep -q "Class: *$want_class" || { echo "not $want_class: $lib"; exit 1; }
echo "$header" | grep -q "Machine: *$want_machine" || { echo "not $want_machine: $lib"; exit 1; }

# Columns: Num Value Size Type Bind Vis Ndx Name
syms=$(readelf --dyn-syms -W "$lib" | awk 'NR > 3 && $1 ~ /:$/ && $8 != "" { print $7, $4, $8 }')

defined=$(echo "$syms" | awk '$1 != "UND" && !($2 == "OBJECT" && $1 == "ABS" && $3 ~ /^PXY_SHA1_VERSION_1\.0\.0$/) { print $3 }')
if [ "$defined" != "LCM00000009@@PXY_SHA1_VERSION_1.0.0" ]; then
  echo "defined dynamic symbols other than the entry:"
  echo "$defined"
  exit 1
fi

# The runtime: C library and POSIX calls by name, and only the C++ runtime's own
# namespaces (std, operator new and delete, the ABI helpers), never ours.
allowed='^(MAF_[A-Za-z]+|err_warn|CCSX_[A-Za-z0-9_]+|SSLX_[A-Za-z0-9_]+)$
^(memcpy|memmove|memset|memcmp|strlen|strnlen|strcmp|strncmp|strchr|strrchr|strcpy|strncpy|strerror|toupper|tolower)$
^(__ctype_toupper_loc|__ctype_tolower_loc|__ctype_b_loc|__errno_location|__stack_chk_fail|__stack_chk_fail_local)$
^__[a-z0-9_]+_chk$
^(explicit_bzero|malloc|calloc|realloc|free|abort|__assert_fail|getenv|secure_getenv|getpid|gettid|sysconf)$
^(vsnprintf|snprintf|sprintf|vsprintf|fprintf|vfprintf|fopen|fclose|fgets|fputs|fflush|fileno|open|close|read|write)$
^(time|clock_gettime|gettimeofday|localtime_r|gmtime_r|nanosleep|usleep|sched_yield)$
^pthread_[a-z_]+$
^(dlopen|dlsym|dlclose|dlerror)$
^(__cxa_[a-z_]+|__gxx_personality_v0|_Unwind_[A-Za-z_]+|__dso_handle|__gmon_start__|_ITM_[A-Za-z]+)$
^(__tls_get_addr|___tls_get_addr|__once_proxy)$
^_Z(St|NSt|NKSt|nw|na|dl|da)[A-Za-z0-9_]*$'

undefined=$(echo "$syms" | awk '$1 == "UND" { sub(/@.*/, "", $3); print $3 }' | sort -u)
bad=$(echo "$undefined" | grep -v -E -x -e "$(echo "$allowed" | sed 's/^\^//; s/\$$//' | paste -sd'|')" || true)
if [ -n "$bad" ]; then
  echo "undefined symbols outside the host's and the runtime's:"
  echo "$bad"
  exit 1
fi
echo "ok: $lib"
