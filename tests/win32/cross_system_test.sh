#!/bin/sh
# A file encrypted on Linux opens with TAV.exe, and one encrypted by TAV.exe
# opens on Linux, for every way of decrypting and keys of every script (the
# UTF-8 of what was typed on both systems), one of them with blanks, quotes
# and backslashes; a file whose key an earlier TAV.exe hashed in the ANSI
# code page opens with the typed key; a folder travels both ways too, also
# as a self-decrypting program, and one that Windows cannot hold is refused
# by TAV.exe with nothing left behind.
#   cross_system_test.sh LINUX_TAV WINDOWS_TAV
set -eu
linux=$1 windows=$2
[ -x "$linux" ] || { echo "no Linux build at $linux"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
key='a "quoted" key \ with\ backslashes\'
# A name beyond the basic plane, which UTF-16 holds as two units.
plain=$(printf 'plain\360\237\230\200.bin')
head -c 700000 /dev/urandom >"$plain"

wine_run() { "$(dirname "$0")/../../scripts/wine-run.sh" "$@"; }
wine_tav() { wine_run "$windows" "$@"; }

# Windows names ignore case: one output name per mode that differs otherwise too.
mode_name() { printf %s "$1" | od -An -tx1 | tr -d ' '; }
i=0
for typed in "$key" 'pässwörd' 'пароль-ключ' '🔑 key' 'ĳsbeer Ωmega 日本'; do
  i=$((i + 1))
  "$linux" e0 "$plain" "linux-$i.TAV" "$typed"
  wine_tav e0 "$plain" "windows-$i.TAV" "$typed"
  for mode in D d; do
    wine_tav "$mode" "linux-$i.TAV" "linux-$i-$(mode_name $mode).bin" "$typed"
    cmp "$plain" "linux-$i-$(mode_name $mode).bin"
    "$linux" "$mode" "windows-$i.TAV" "windows-$i-$(mode_name $mode).bin" "$typed"
    cmp "$plain" "windows-$i-$(mode_name $mode).bin"
  done
done
! "$linux" D windows-1.TAV wrong.bin "another key" 2>/dev/null || { echo "a wrong key opened the file"; exit 1; }
! wine_tav d linux-3.TAV questioned.bin '??????-????' 2>/dev/null ||
  { echo "question marks opened a file of a Cyrillic key"; exit 1; }
# An earlier TAV.exe hashed the key in the ANSI code page (Windows-1252 for
# the locale Wine runs in here).
"$linux" e0 "$plain" ansi.TAV "$(printf 'p\344ssw\366rd')"
wine_tav d ansi.TAV ansi.bin 'pässwörd'
cmp "$plain" ansi.bin

# A tree with an empty folder, a read-only file, a stored time, names
# beyond ASCII (one beyond the basic plane, with a combining mark) and a
# path longer than Windows's old 260 characters.
long=$(printf 'folder-with-a-rather-long-name-%s' 0123456789012345678)
mkdir -p tree/empty "tree/$long/$long/$long/$long/$long"
deep="tree/$long/$long/$long/$long/$long/deep.txt"
printf 'deep' >"$deep"
printf 'caf\303\251' >"tree/$(printf 'caf\303\251').txt"
printf 'emoji' >"tree/$(printf 'emoji\360\237\230\200 cafe\314\201').txt"
printf 'kept' >tree/read-only.txt
chmod 444 tree/read-only.txt
touch -d '2001-02-03 04:05:06.1234567' tree/read-only.txt
# TAV.exe takes a file by a path that long too.
wine_tav e0 "$deep" deep.TAV "$key"
wine_tav d deep.TAV "$deep.back" "$key"
cmp "$deep" "$deep.back"
rm "$deep.back"
same_tree() {
  diff -r tree "$1"
  [ "$(stat -c '%a %y' tree/read-only.txt)" = "$(stat -c '%a %y' "$1/read-only.txt")" ]
}
"$linux" e1 tree tree-from-linux.TAV "$key"
wine_tav D tree-from-linux.TAV tree-on-windows "$key"
same_tree tree-on-windows
wine_tav e1 tree tree-from-windows.TAV "$key"
"$linux" D tree-from-windows.TAV tree-on-linux "$key"
same_tree tree-on-linux

# A self-decrypting file of the tree, made by TAV.exe: run on its own, it
# restores the folder next to itself; TAV on Linux reads it too.
mkdir sent
wine_tav a1 tree sent/tree.exe "$key"
printf '%s\r\n' "$key" | wine_run sent/tree.exe
same_tree sent/tree
"$linux" D sent/tree.exe tree-from-the-program "$key"
same_tree tree-from-the-program

# What a TAV.exe ended from outside left behind goes with the next folder
# decryption there, when it is provably TAV's; a look-alike stays.
for left in .TAV-abcdef .TAV-ghijkl; do
  mkdir -p "$left/folder"
  printf 'TAV: a folder being decrypted; removed when no TAV holds it.\n' >"$left/TAV-folder-in-progress"
done
: >.TAV-ghijkl/mine.txt
touch -d '2 minutes ago' .TAV-abcdef .TAV-ghijkl
wine_tav D tree-from-linux.TAV tree-again "$key"
if [ -e .TAV-abcdef ] || [ ! -e .TAV-ghijkl/mine.txt ]; then echo "wrong folders removed:"; ls -A; exit 1; fi
rm -rf .TAV-ghijkl

# What Windows cannot hold: refused with the entry's name, nothing made.
mkdir refused
: >err.txt
refuse() {  # refuse NAME-IN-MESSAGE: the folder "refused" holds it
  "$linux" e1 refused refused.TAV "$key"
  before=$(ls -A)
  if wine_tav D refused.TAV refused-out "$key" 2>err.txt; then echo "TAV.exe took $1"; exit 1; fi
  grep -qF "$1" err.txt || { echo "the message does not name $1:"; cat err.txt; exit 1; }
  [ "$(ls -A)" = "$before" ] || { echo "left behind after $1:"; ls -A; exit 1; }
  rm -rf refused/* refused.TAV
}
for name in 'a:b' 'CON.txt' 'trailing.' 'COM¹' 'LPT³.log'; do : >"refused/$name"; refuse "$name"; done
# A name Windows cannot hold at the bottom of a deep tree: D refuses it in
# its verifying pass, before a folder of the tree is made.
deep=refused$(printf '/d%.0s' $(seq 1000))
mkdir -p "$deep"
: >"$deep/CON"
refuse 'd/CON'
# A path longer than the system takes (Wine's Unix paths end at 4,096
# bytes) is told as such, naming the entry.
deep=refused$(printf '/folder-%s-with-a-name-long-enough-to-make-the-path-grow-quickly-xxxxxxxxxxxxxxxxxx' $(seq 50))
mkdir -p "$deep"
refuse 'the path is too long for this system'
: >"refused/$(printf 'not\377utf8')"
refuse 'not\xffutf8'
: >refused/Same; : >refused/same
refuse same
ln -s read-only.txt refused/link
refuse link

# A self-decrypting file someone sends: TAV.exe's own program, carrying a
# payload sealed under the right key whose stored name Windows would turn
# into another entry than the one named: a stream of a file there, or of
# the program itself, a folder of drive C:, a device, the program itself
# once its trailing dot is dropped. Each is refused, naming it, with
# nothing written.
mkdir sender hostile
wine_tav a0 "$plain" sender/carrier.exe "$key"
offset=$(tail -c 16 sender/carrier.exe | head -c 8 | od -An -tu8 | tr -d ' ')
head -c "$offset" sender/carrier.exe >sender/program.bin
printf 'mine' >hostile/note.txt
for name in 'note.txt:hidden' 'sent.exe:Zone.Identifier' 'C:PWNED.txt' 'COM¹' 'CON' 'sent.exe.'; do
  (cd sender && : >"$name" && "$linux" e0 "$name" payload.TAV "$key" && rm "$name")
  { cat sender/program.bin sender/payload.TAV; tail -c 16 sender/carrier.exe; } >hostile/sent.exe
  rm sender/payload.TAV
  before=$(cd hostile && ls -A)
  status=0
  (cd hostile && printf '%s\r\n' "$key" | wine_run ./sent.exe) 2>err.txt || status=$?
  case $status in 3|5) ;; *) echo "the program took the stored name $name (status $status)"; cat err.txt; exit 1 ;; esac
  grep -qF "$name" err.txt || { echo "the message does not name $name:"; cat err.txt; exit 1; }
  [ "$(cd hostile && ls -A)" = "$before" ] || { echo "left behind after $name:"; ls -A hostile; exit 1; }
  [ "$(cat hostile/note.txt)" = mine ] || { echo "note.txt changed by $name"; exit 1; }
done

echo "both ways: ok"
