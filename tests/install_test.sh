#!/bin/sh
# Installs the build in $1 into the prefix $2, then runs the installed
# morvek on the installed example with the installed configuration, and
# checks the installed morvek-prep and man pages.
set -eu
build=$1 prefix=$2
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
work=$prefix/work
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/gnuplot"  # no plot windows in tests
chmod +x "$work/bin/gnuplot"
cd "$work"
cp "$prefix/share/morvek/nile.dat" .
"$prefix/bin/morvek-prep" cfg -o morvek.cfg
cmp morvek.cfg "$prefix/share/morvek/morvek.cfg"
PATH="$work/bin:$PATH" "$prefix/bin/morvek" <"$prefix/share/morvek/nile-session.txt" >out.txt 2>/dev/null
tail -n 1 out.txt | grep -qx 'Morvek terminates successfully'
test -s morvek-3.dat
for page in morvek morvek-prep; do test -s "$prefix/share/man/man1/$page.1"; done
echo "install_test: 1 passed, 0 failed"
