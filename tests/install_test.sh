#!/bin/sh
# Installs the build in $1 into the prefix $2, then runs the installed
# morvek on the installed example with the installed configuration, and
# checks the installed morvek-prep, morvek-batch and man pages.
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
# The same decisions without a dialog give the same result files.
"$prefix/bin/morvek-batch" --z 2 --window 3 --bandwidth 10 --nsim 2000 --figures none -o batch nile.dat 2>/dev/null
for file in morvek-1.dat morvek-2.dat morvek-3.dat; do cmp "$file" "batch/nile/$file"; done
for page in morvek morvek-prep morvek-batch; do test -s "$prefix/share/man/man1/$page.1"; done
echo "install_test: 1 passed, 0 failed"
