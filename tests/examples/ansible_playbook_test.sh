#!/usr/bin/env bash
# Runs examples/ansible/deploy-templates.yml against localhost in a sandbox:
# the first run installs and reports changed, a second changes nothing and
# neither does check mode then, a check-mode run with a newer kit foretells a
# change and writes nothing, and
# the real run then replaces the files; state absent takes them back once; a signed kit installs under a trust
# policy and an unsigned one is refused. Exits 77 (skipped) without ansible-core.
#   ansible_playbook_test.sh SOURCE_DIR VXK5_SETUP VXK5_KIT_TOOL
set -euo pipefail
source_dir=$1 installer=$2 kit_tool=$3

if ! command -v ansible-playbook >/dev/null 2>&1; then
  echo "ansible-playbook is not installed: skipped"
  exit 77
fi

sandbox=$(mktemp -d)
trap 'rm -rf -- "$sandbox"' EXIT
mkdir -p -- "$sandbox/home" "$sandbox/tmp" "$sandbox/ansible-tmp" "$sandbox/stage" "$sandbox/src/forms"
templates=$sandbox/home/.vxk5/Vx/vxk5/tmplts

make_kit() {  # every source file carries the whole second $1
  find "$sandbox/src" -type f -exec touch -d "@$1" -- {} +
  "$kit_tool" create "$sandbox/src" -o "$sandbox/vxk5.efd" --lang en --product "Sample Templates" \
    --vendor "Example Ltd" --description readme.txt >/dev/null
}

# Prints the play's output; fails the test when the play fails.
play() {
  # No display: an error box would wait for OK.
  env -u DISPLAY -u XAUTHORITY HOME="$sandbox/home" TMPDIR="$sandbox/stage" ANSIBLE_LOCAL_TEMP="$sandbox/ansible-tmp" ANSIBLE_REMOTE_TEMP="$sandbox/ansible-tmp" \
      ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_PYTHON_INTERPRETER=auto_silent \
    ansible-playbook -i localhost, -c local "$source_dir/examples/ansible/deploy-templates.yml" \
      -e vxk5_hosts=localhost -e "vxk5_installer=$installer" -e "vxk5_kit=$sandbox/vxk5.efd" \
      -e "{\"vxk5_environment\": {\"HOME\": \"$sandbox/home\", \"TMPDIR\": \"$sandbox/tmp\"}}" "$@"
}

# The "changed" count of the play recap.
changed() { sed -n 's/^localhost *:.* changed=\([0-9]*\).*/\1/p' <<<"$1"; }
# The changed/ok status of the reporting task.
reported() { grep -A1 'TASK \[Report the outcome\]' <<<"$1" | tail -n1 | cut -d: -f1; }

fail() { echo "FAIL: $*"; exit 1; }

printf 'Sample templates\n' >"$sandbox/src/readme.txt"
printf 'invoice v1\n' >"$sandbox/src/forms/invoice.tpl"
make_kit 1262304000

out=$(play) || fail "first run: $out"
[ "$(reported "$out")" = changed ] || fail "first run does not report the templates as changed: $out"
[ "$(cat "$templates/forms/invoice.tpl")" = "invoice v1" ] || fail "first run did not install"
[ -z "$(ls -A "$sandbox/tmp")" ] || fail "TMPDIR not left empty"

out=$(play) || fail "second run: $out"
[ "$(changed "$out")" = 0 ] || fail "a second run with the same kit changed something: $out"
# Check mode on the host that is up to date foretells no change at all, and
# leaves nothing behind.
out=$(play --check) || fail "check mode on an up-to-date host: $out"
[ "$(changed "$out")" = 0 ] || fail "check mode reports a change on an up-to-date host: $out"
grep -q 'up-to-date: 0 new, 0 replaced, 2 kept' <<<"$out" || fail "check mode did not tell the dry run's outcome: $out"
[ -z "$(find "$sandbox/stage" "$sandbox/tmp" -mindepth 1)" ] || fail "check mode left files behind: $(ls -lA "$sandbox/stage" "$sandbox/tmp")"

printf 'invoice v2\n' >"$sandbox/src/forms/invoice.tpl"
make_kit 1577836800
before=$(cd "$templates" && find . -printf '%p %s %T@\n' | sort)
out=$(play --check) || fail "check mode: $out"
[ "$(reported "$out")" = changed ] || fail "check mode does not foretell the change: $out"
grep -q '(dry run)' <<<"$out" || fail "check mode did not run a dry run: $out"
after=$(cd "$templates" && find . -printf '%p %s %T@\n' | sort)
[ "$before" = "$after" ] || fail "check mode changed the template directory"
[ -z "$(find "$sandbox/stage" "$sandbox/tmp" -mindepth 1)" ] || fail "check mode left files behind: $(ls -lA "$sandbox/stage" "$sandbox/tmp")"
cmp -s "$sandbox/home/.cache/vxk5-setup/vxk5.efd" "$sandbox/vxk5.efd" && fail "check mode copied the new kit"

out=$(play) || fail "update run: $out"
[ "$(reported "$out")" = changed ] || fail "the update is not reported as changed: $out"
grep -q '0 new, 2 replaced, 0 kept' <<<"$out" || fail "unexpected counts: $out"
[ "$(cat "$templates/forms/invoice.tpl")" = "invoice v2" ] || fail "the update did not install"

# A damaged kit fails the play.
printf 'not a kit' >"$sandbox/vxk5.efd.bad"
if out=$(play -e "vxk5_kit=$sandbox/vxk5.efd.bad"); then fail "a damaged kit did not fail the play: $out"; fi
grep -q 'no-kit' <<<"$out" || fail "the failure does not name the outcome: $out"

# State absent: check mode foretells it and changes nothing; the real run
# takes back both installations (the update's files, then the first's
# directories) and keeps the file the user changed; a second run changes nothing.
printf 'my own line\n' >>"$templates/readme.txt"
before=$(cd "$templates" && find . -printf '%p %s %T@\n' | sort)
out=$(play -e vxk5_state=absent --check) || fail "check mode of absent: $out"
[ "$(changed "$out")" = 1 ] || fail "check mode does not foretell the uninstall: $out"
after=$(cd "$templates" && find . -printf '%p %s %T@\n' | sort)
[ "$before" = "$after" ] || fail "check mode of absent changed the template directory"
out=$(play -e vxk5_state=absent) || fail "absent: $out"
[ "$(changed "$out")" = 1 ] || fail "the uninstall is not reported as changed: $out"
[ ! -e "$templates/forms" ] || fail "the templates were not taken back: $(ls -lAR "$templates")"
[ "$(tail -n1 "$templates/readme.txt")" = "my own line" ] || fail "the user's changed file was not kept"
out=$(play -e vxk5_state=absent) || fail "absent again: $out"
[ "$(changed "$out")" = 0 ] || fail "a second absent run changed something: $out"
rm -f -- "$templates/readme.txt"

# Signed kits: the play installs the key (here into the sandbox, not as root)
# and copies the signature beside the kit; a kit signed with minisign installs.
if command -v minisign >/dev/null 2>&1; then
  minisign -G -W -p "$sandbox/lab.pub" -s "$sandbox/lab.key" >/dev/null
  printf 'invoice v3\n' >"$sandbox/src/forms/invoice.tpl"
  make_kit 1609459200
  minisign -S -s "$sandbox/lab.key" -m "$sandbox/vxk5.efd" -t "release 3" >/dev/null
  signed=(-e "vxk5_trusted_key=$sandbox/lab.pub" -e "vxk5_trusted_keys_dir=$sandbox/keys"
          -e vxk5_trusted_key_become=false)
  out=$(play "${signed[@]}" -e "vxk5_signature=$sandbox/vxk5.efd.minisig") || fail "signed run: $out"
  [ "$(cat "$templates/forms/invoice.tpl")" = "invoice v3" ] || fail "the signed kit did not install"
  [ -f "$sandbox/keys/lab.pub" ] || fail "the key was not installed: $(ls -lA "$sandbox/keys")"
  # Without the signature the stale one is removed and the kit refused.
  printf 'invoice v4\n' >"$sandbox/src/forms/invoice.tpl"
  make_kit 1640995200
  # Files, bytes and times (the directory's own time moves with the installer's
  # probe of a recorded location, which comes before the kit is read).
  before=$(cd "$templates" && find . -type f -printf '%p %s %T@\n' -exec md5sum {} + | sort)
  if out=$(play "${signed[@]}"); then fail "an unsigned kit was not refused: $out"; fi
  grep -q 'untrusted' <<<"$out" || fail "the refusal does not name the outcome: $out"
  after=$(cd "$templates" && find . -type f -printf '%p %s %T@\n' -exec md5sum {} + | sort)
  [ "$before" = "$after" ] || fail "the refused kit changed the template directory: $(diff <(echo "$before") <(echo "$after"))"
  # Check mode with the key and a signature by vxk5-kit foretells the change.
  "$kit_tool" sign -s "$sandbox/lab.key" "$sandbox/vxk5.efd" >/dev/null
  rm -rf -- "$sandbox/keys"
  out=$(play --check "${signed[@]}" -e "vxk5_signature=$sandbox/vxk5.efd.minisig") || fail "signed check mode: $out"
  [ "$(reported "$out")" = changed ] || fail "check mode does not foretell the signed change: $out"
fi
echo "playbook: all checks passed"
