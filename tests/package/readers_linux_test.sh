#!/usr/bin/env bash
# What docs/readers.md and the manual tell a Linux user to write, tried here: the polkit rule
# (the same in both, valid JavaScript, and it lets exactly the group's members use pcscd and its
# cards; run with node) and the modprobe blacklist file (its lines as modprobe reads them).
# Usage: readers_linux_test.sh SOURCE_DIR
set -uo pipefail

source_dir=$1
docs=$source_dir/docs/readers.md
manual=$source_dir/man/zendorcfg.1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The rule: the docs' ```js block, the manual's .EX block that holds it (roff's \- is -).
sed -n '/^```js$/,/^```$/p' "$docs" | sed '1d;$d' >"$scratch/docs-rule.js"
sed -n '/^polkit.addRule/,/^.EE$/p' "$manual" | sed '$d' | sed 's/\\-/-/g' >"$scratch/manual-rule.js"
[ -s "$scratch/docs-rule.js" ] || fail "no polkit rule in docs/readers.md"
grep -v '^//' "$scratch/docs-rule.js" | cmp -s - "$scratch/manual-rule.js" ||
    fail "the manual's polkit rule differs from the one in docs/readers.md"

if command -v node >/dev/null; then
    node --check "$scratch/docs-rule.js" 2>&1 || fail "the polkit rule is no valid JavaScript"
    # polkit's rule API, as far as the rule uses it; each case: action, groups, expected answer.
    cat >"$scratch/run.js" <<'JS'
const fs = require("fs");
const rules = [];
const polkit = { Result: { YES: "yes" }, addRule: (rule) => rules.push(rule) };
new Function("polkit", fs.readFileSync(process.argv[2], "utf8"))(polkit);
const subject = (groups) => ({ user: "alice", isInGroup: (group) => groups.includes(group) });
const cases = [
    ["org.debian.pcsc-lite.access_pcsc", ["zendor"], "yes"],
    ["org.debian.pcsc-lite.access_card", ["users", "zendor"], "yes"],
    ["org.debian.pcsc-lite.access_pcsc", ["users"], undefined],
    ["org.debian.pcsc-lite.access_card", [], undefined],
    ["org.freedesktop.login1.reboot", ["zendor"], undefined],
];
let failed = 0;
for (const [id, groups, expected] of cases) {
    const answers = rules.map((rule) => rule({ id, lookup: () => undefined }, subject(groups)));
    const answer = answers.find((a) => a !== undefined);
    if (rules.length !== 1 || answer !== expected) {
        console.log(`FAIL: ${id} for groups [${groups}]: ${answer}, not ${expected}`);
        failed++;
    }
}
process.exit(failed ? 1 : 0);
JS
    node "$scratch/run.js" "$scratch/docs-rule.js" || fail "the polkit rule answers wrongly"
else
    echo "node not installed: the polkit rule is not run"
fi

# The blacklist: printf '...' | sudo tee /etc/modprobe.d/NAME.conf
line=$(grep -E "^printf '[^']*' \| sudo tee /etc/modprobe\.d/" "$docs")
file=${line##*/etc/modprobe.d/}
file=${file%% *}
format=${line#printf \'}
format=${format%%\'*}
[[ $file == *.conf ]] || fail "modprobe reads only *.conf in /etc/modprobe.d: '$file'"
# shellcheck disable=SC2059 # the format is the docs' own
printf "$format" >"$scratch/$file"
[ "$(grep -cvE '^blacklist [a-z0-9_]+$' "$scratch/$file")" -eq 0 ] ||
    fail "a line of the blacklist file is no 'blacklist MODULE': $(cat "$scratch/$file")"
for module in pn533_usb pn533; do
    grep -qx "blacklist $module" "$scratch/$file" || fail "the blacklist file leaves out $module"
    grep -q "^.BR \"blacklist $module\"\|^.B blacklist $module$" "$manual" ||
        fail "the manual does not blacklist $module"
done
modprobe=$(command -v modprobe || echo /sbin/modprobe)
if [ -x "$modprobe" ]; then
    config=$("$modprobe" -C "$scratch" -c 2>/dev/null | grep '^blacklist')
    [ "$config" = "$(cat "$scratch/$file")" ] || fail "modprobe reads the file as: $config"
else
    echo "modprobe not installed: the blacklist file is not read by it"
fi

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "Linux troubleshooting checked"
