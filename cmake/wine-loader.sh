# Sourced by the scripts that set up Wine and run Windows programs under it.
#
# zt_wine_loader BITS   prints the command that starts a BITS-bit (32 or 64) Windows program
#                       under Wine on this machine; when there is none, prints why and returns 1.
# zt_wine_ready PREFIX PROGRAM
#                       prints the command that starts PROGRAM (a Windows program or library: its
#                       width chooses the loader) in the prefix PREFIX; when it cannot, because
#                       the loader or the prefix is missing, prints why and returns 1.
# zt_kernel_runs_32bit  succeeds when this machine's kernel runs 32-bit x86 programs.
# zt_pe_bits FILE       prints 32 or 64: the width of a Windows program or library.
#
# 64-bit programs run on Debian's Wine (packages wine and wine64). 32-bit programs run either on
# Debian's 32-bit Wine (wine32:i386), where the kernel runs 32-bit programs and the package could
# be installed, or on the same 32-bit Wine under the user-mode emulator qemu-i386, which
# cmake/wine32-emulated.sh sets up in build/wine32 where it could not. cmake/install-deps.sh
# chooses, and writes its reason to build/wine32.unavailable when neither could be had.

zt_repo_root() { (cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd); }

# The emulated 32-bit Wine's folder (ZT_WINE32_ROOT names another).
zt_wine32_root() { echo "${ZT_WINE32_ROOT:-$(zt_repo_root)/build/wine32}"; }

zt_kernel_runs_32bit() {
  case ${ZT_KERNEL_RUNS_32BIT:-} in
    yes) return 0 ;;
    no) return 1 ;;
  esac
  # A 32-bit program of 96 bytes that exits with status 42 (mov eax, 1; mov ebx, 42; int 0x80):
  # an ELF header, one loadable segment at 0x08048000, the code. Written here so that the
  # answer needs no 32-bit toolchain; a kernel without IA-32 emulation refuses to start it.
  local probe status
  probe=$(mktemp "${TMPDIR:-/tmp}/zt-32bit-probe.XXXXXX") || return 1
  printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' \
    '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00' \
    '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  ((status == 42))
}

zt_wine_loader() {
  local bits=$1 candidate
  if [[ $bits == 32 ]]; then
    local root reason
    root=$(zt_wine32_root)
    reason="no 32-bit Wine on this machine (cmake/install-deps.sh sets it up)"
    # The set-up's last word on 32-bit Wine, when it found none.
    if [[ -s $root.unavailable ]]; then
      reason=$(head -n 1 "$root.unavailable")
    elif [[ -f $root/.ready && -x $root/i386/usr/lib/wine/wine32.sh ]]; then
      echo "$root/i386/usr/lib/wine/wine32.sh"
      return 0
    # Debian's 32-bit loader, from wine32:i386; its `wine` command starts it.
    elif [[ -x /usr/lib/wine/wine ]] && zt_kernel_runs_32bit; then
      echo wine
      return 0
    fi
    echo "$reason; the i686 suite (ctest --preset i686, under qemu-i386-static) tests the 32-bit code instead"
    return 1
  fi
  if ! command -v wine >/dev/null; then
    echo "wine is not installed (apt-get install wine wine64)"
    return 1
  fi
  # Without wine32:i386 Debian's `wine` command starts the 64-bit loader itself; with it, the
  # 32-bit loader, which a kernel without IA-32 emulation cannot run: then the 64-bit loader is
  # started directly.
  if WINEDEBUG=-all wine --version >/dev/null 2>&1; then
    echo wine
    return 0
  fi
  for candidate in wine64 /usr/lib/wine/wine64; do
    if command -v "$candidate" >/dev/null && "$candidate" --version >/dev/null 2>&1; then
      command -v "$candidate"
      return 0
    fi
  done
  echo "Wine's 64-bit loader does not start on this machine"
  return 1
}

zt_wine_ready() {
  local prefix=$1 program=$2 loader
  loader=$(zt_wine_loader "$(zt_pe_bits "$program")") || { echo "$loader"; return 1; }
  if [[ ! -f $prefix/.zentravo-prefix-ready ]]; then
    if [[ -s $prefix.unusable ]]; then
      head -n 1 "$prefix.unusable"
    else
      echo "no Wine prefix in $prefix (cmake/wine-prefix.sh makes it)"
    fi
    return 1
  fi
  echo "$loader"
}

zt_pe_bits() {
  local header machine
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')
  if [[ $machine == 8664 ]]; then echo 64; else echo 32; fi
}
