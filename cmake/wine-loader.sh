# Sourced by the scripts that run Windows programs under Wine.
#
# zt_wine_loader BITS   prints the command that starts a BITS-bit (32 or 64) Windows program
#                       under Wine on this machine; when there is none, prints why and returns 1.
#
# Debian's `wine` command always starts Wine's 32-bit loader, which then hands 64-bit programs to
# the 64-bit one. A kernel without IA-32 emulation (some virtual machines switch it off) cannot
# run that 32-bit loader at all: 64-bit programs then start with the 64-bit loader directly, and
# 32-bit programs cannot run on such a machine.
zt_wine_loader() {
  local bits=$1 candidate
  if ! command -v wine >/dev/null; then
    echo "wine is not installed (apt-get install wine wine64 wine32:i386)"
    return 1
  fi
  if WINEDEBUG=-all wine --version >/dev/null 2>&1; then
    echo wine
    return 0
  fi
  if [[ $bits == 64 ]]; then
    for candidate in wine64 /usr/lib/wine/wine64; do
      if command -v "$candidate" >/dev/null && "$candidate" --version >/dev/null 2>&1; then
        command -v "$candidate"
        return 0
      fi
    done
    echo "Wine's 64-bit loader does not start on this machine"
    return 1
  fi
  echo "this machine cannot run 32-bit programs (the kernel's IA-32 emulation is off), so Wine cannot start a 32-bit Windows program here; the i686 suite (ctest --preset i686, under qemu-i386-static) tests the 32-bit code instead"
  return 1
}

# zt_pe_bits FILE   prints 32 or 64: the width of a Windows program or library, from its header.
zt_pe_bits() {
  local header machine
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')
  if [[ $machine == 8664 ]]; then echo 64; else echo 32; fi
}
