# Sourced: where the Windows tests run on this machine. Sets
#   wine_bits    32  the shipped 32-bit programs under 32-bit Wine, here
#                vm  the same, in an emulated i386 machine
#                    (scripts/i386-vm/run.sh): for kernels that refuse
#                    32-bit programs, and the default there
#                64  a 64-bit build of the tests under 64-bit Wine, here:
#                    quicker than the machine, for development, but without
#                    the broadcast library's register convention (32-bit
#                    code only)
#   wine_reason  why, in a few words
# WARDENIX_WINE=32, vm or 64 chooses; otherwise a tiny 32-bit Linux program
# (exit(0) in 93 bytes) shows whether the kernel runs 32-bit programs, before
# any package is installed. Inside the emulated machine it does.
case "${WARDENIX_WINE:-}" in
  32|vm|64)
    wine_bits=$WARDENIX_WINE
    wine_reason="chosen by WARDENIX_WINE=$WARDENIX_WINE" ;;
  "")
    wine_probe=$(dirname "${BASH_SOURCE[0]}")/../build/windows/.probe-32bit.$$
    mkdir -p "$(dirname "$wine_probe")"
    printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\064\0\0\0\0\0\0\0\0\0\0\0\064\0\040\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\135\0\0\0\135\0\0\0\5\0\0\0\0\020\0\0\270\1\0\0\0\061\333\315\200' >"$wine_probe"
    chmod +x "$wine_probe"
    if "$wine_probe" 2>/dev/null; then
      wine_bits=32 wine_reason="this machine runs 32-bit programs"
    else
      wine_bits=vm wine_reason="this machine's kernel refuses 32-bit programs"
    fi
    rm -f "$wine_probe"
    unset wine_probe ;;
  *)
    echo "wine-env.sh: WARDENIX_WINE is 32, vm or 64, not '$WARDENIX_WINE'" >&2
    return 2 ;;
esac
