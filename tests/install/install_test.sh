#!/usr/bin/env bash
# install_test.sh BUILD_DIR DESKTOP_FILE_VALIDATE with-hotpad|without-hotpad
set -euo pipefail
build=$1 validate=$2 hotpad=$3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vorel-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > /dev/null

entries=(vorel.desktop)
[[ $hotpad == with-hotpad ]] && entries+=(vorel-hotpad.desktop)
for e in "${entries[@]}"; do
  desktop="$prefix/share/applications/$e"
  [[ -f $desktop ]] || fail "missing $desktop"
  # Hints are advice; errors and warnings fail.
  out=$("$validate" "$desktop" 2>&1) || fail "$e does not validate: $out"
  if grep -v ': hint: ' <<< "$out" | grep -q .; then fail "$e: $out"; fi
  exe=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [[ -x $prefix/bin/$exe ]] || fail "$e runs $exe, which is not installed in bin"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [[ -f $prefix/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "$e: no scalable icon $icon"
done
grep -q '^Exec=Vorelplay %f$' "$prefix/share/applications/vorel.desktop" || fail "Vorelplay's entry does not pass the chosen file"
for mime in audio/mpeg audio/flac audio/x-vorbis+ogg audio/x-opus+ogg audio/mp4 audio/x-m4b video/mp4 video/x-matroska video/webm; do
  grep -q "^MimeType=.*$mime;" "$prefix/share/applications/vorel.desktop" || fail "Vorelplay's entry does not open $mime"
done

for f in share/icons/hicolor/48x48/apps/vorel.png share/icons/hicolor/256x256/apps/vorel.png \
         share/vorel/demo/01-classroom.mp3 share/vorel/demo/01-classroom.lrc share/vorel/demo/02-directions.wav \
         share/doc/vorel/README.md; do
  [[ -s $prefix/$f ]] || fail "missing $f"
done
# The installed exporter unpacks its audio libraries too, and writes a package.
XDG_DATA_HOME="$prefix/data" "$prefix/bin/vorel-export" "$prefix/share/vorel/demo/01-classroom.mp3" \
  "$prefix/lesson.apkg" 2> /dev/null && [[ -s $prefix/lesson.apkg ]] || fail "the installed vorel-export does not export"
[[ $hotpad == with-hotpad ]] && { [[ -x $prefix/bin/Hotpad ]] || fail "missing bin/Hotpad"; }

# Unpacks and binds its audio libraries from the installed copy and loads a demo
# lesson (its trace's "load" line), then ends on SIGTERM as a closed window does.
run=$prefix/run
mkdir -m 700 "$run"
lesson=$prefix/share/vorel/demo/02-directions.wav
TMPDIR=$run XDG_RUNTIME_DIR=$run XDG_DATA_HOME=$run/data VORELPLAY_TRACE=$run/trace SDL_AUDIODRIVER=dummy \
  "$prefix/bin/Vorelplay" "$lesson" > /dev/null 2> "$run/stderr" &
pid=$!
# A generous bound for a busy machine; the load takes well under a second.
for ((i = 0; i < 600; i++)); do
  grep -qF "$(printf '\tload\t')$lesson " "$run/trace" 2> /dev/null && break
  kill -0 $pid 2> /dev/null || break
  sleep 0.1
done
if ! grep -qF "$(printf '\tload\t')$lesson " "$run/trace" 2> /dev/null; then
  kill -KILL $pid 2> /dev/null || true
  fail "the installed Vorelplay does not start or load $lesson: $(cat "$run/stderr" "$run/trace" 2> /dev/null)"
fi
kill -TERM $pid
status=0
wait $pid || status=$?
((status == 0)) || fail "the installed Vorelplay did not end cleanly on SIGTERM (status $status)"
! grep -q "$(printf '\terror\t')" "$run/trace" || fail "the installed Vorelplay reported: $(cat "$run/trace")"
[[ ! -e $run/tmpvp-$(id -u) ]] || fail "the installed Vorelplay left its temp folder"
echo "install_test: ok ($prefix)"
