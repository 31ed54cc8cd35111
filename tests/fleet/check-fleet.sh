#!/usr/bin/env bash
# check-fleet.sh: what can be checked of the fleet kit (fleet/) without
# Windows:
# - every file is ASCII only and opens with a comment;
# - every PowerShell script parses with PowerShell's own parser (the pwsh
#   scripts/setup.sh installs in build/ps-tools), and scripts with
#   deliberate syntax errors do not; without pwsh these are skipped, with a
#   line saying so (in CI, CI=true, they fail);
# - every PowerShell script keeps to ConstrainedLanguage mode, starts no
#   job and uses no syntax of PowerShell 7 alone, read from PowerShell's
#   syntax tree (tests/fleet/powershell/Test-Compatibility.ps1), and copies
#   broken in one place each fail;
# - the facts several files state are stated alike (the folder, the marker,
#   the exit codes against fleet/README.md, the time limits against the
#   programs' deadlines, the collector's columns against the check's:
#   tests/fleet/check_facts.py);
# - the playbook passes ansible-playbook --syntax-check and ansible-lint,
#   with its modules resolved from the ansible.windows collection, and a copy
#   naming a module that does not exist fails; its check task fails exactly
#   when the check did not run as asked, and its report reads the document
#   (tests/fleet/check_playbook.py, through Ansible's templating); its tasks
#   on the controller save each machine's document and write the page (run
#   for real, with a stand-in for the page program).
# Prints one line per check, then "N passed, N failed"; exits 1 on a failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
fleet=$root/fleet
pwsh=${KOVEX_PWSH:-$root/build/ps-tools/pwsh/pwsh}
[ -x "$pwsh" ] || pwsh=$(command -v pwsh || true)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0

result() {  # result <0 for pass> <what>
  if [ "$1" -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok: $2"
  else
    failed=$((failed + 1))
    echo "FAILED: $2"
  fi
}

mapfile -t files < <(cd "$fleet" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ ${#files[@]} -ge 9 ]
result $? "the fleet folder holds its files (${#files[@]})"

for file in "${files[@]}"; do
  ! LC_ALL=C grep -q -P '[^\x00-\x7F]' "$fleet/$file"
  result $? "$file is ASCII only"
  # The header: a comment at the top (after "@echo off" or YAML's "---").
  head -n 2 "$fleet/$file" | grep -q -E '^(rem |<#|# )'
  result $? "$file opens with a comment"
done

# PowerShell: every script parses; broken ones do not.
mapfile -t scripts < <(find "$fleet" -name '*.ps1' | LC_ALL=C sort)
parse() { "$pwsh" -NoProfile -NonInteractive -File "$root/tests/fleet/powershell/Test-Syntax.ps1" "$@"; }
compatible() { "$pwsh" -NoProfile -NonInteractive -File "$root/tests/fleet/powershell/Test-Compatibility.ps1" "$@"; }
if [ -z "$pwsh" ]; then
  if [ "${CI:-}" = "true" ]; then
    result 1 "PowerShell (pwsh) is missing: the scripts cannot be parsed"
  else
    echo "skipped: PowerShell's parser (pwsh missing; scripts/setup.sh installs it where the .NET SDK is)"
  fi
else
  parse "${scripts[@]}" >"$scratch/parse.log" 2>&1
  status=$?
  sed 's/^/  /' "$scratch/parse.log"
  result $status "every PowerShell script parses"

  # Each broken in one place: an unclosed block, an unclosed string, an
  # unclosed parameter list, a stray closing brace, an if without its
  # condition's parenthesis.
  printf '%s\n' 'try {' '    exit 1' '' 'catch { exit 2 }' >"$scratch/block.ps1"
  printf '%s\n' '$a = "unterminated' 'exit 0' >"$scratch/string.ps1"
  printf '%s\n' '[CmdletBinding()]' 'param([string]$Path' '' 'exit 0' >"$scratch/param.ps1"
  printf '%s\n' 'if ($true) { exit 0 } }' >"$scratch/brace.ps1"
  printf '%s\n' 'if ($LASTEXITCODE -eq 0 { exit 0 }' >"$scratch/condition.ps1"
  for broken in block string param brace condition; do
    parse "$scratch/$broken.ps1" >"$scratch/broken.log" 2>&1
    [ $? -eq 1 ] && grep -q "^SYNTAX ERROR .*$broken.ps1:" "$scratch/broken.log"
    result $? "a script with a syntax error ($broken) fails to parse"
  done

  # ConstrainedLanguage mode: the scripts pass; a copy of one, broken in one
  # place, fails with what broke it.
  compatible "${scripts[@]}" >"$scratch/clm.log" 2>&1
  status=$?
  sed 's/^/  /' "$scratch/clm.log"
  result $status "every PowerShell script keeps to ConstrainedLanguage mode"

  base=$fleet/Remediations-Detect.ps1
  while IFS='|' read -r name line expected; do
    { cat "$base"; printf '%s\n' "$line"; } >"$scratch/$name.ps1"
    compatible "$scratch/$name.ps1" >"$scratch/broken.log" 2>&1
    [ $? -eq 1 ] && grep -q -- "$expected" "$scratch/broken.log"
    result $? "a script with $name fails the ConstrainedLanguage check"
  done <<'CASES'
new-object|$start = New-Object System.Diagnostics.ProcessStartInfo|New-Object
static-call|$p = [System.Diagnostics.Process]::Start($start)|static member Start
static-in-string|Write-Output "$([System.IO.File]::ReadAllText($path))"|static member ReadAllText
method-call|$p.WaitForExit()|method WaitForExit
cast|$client = [System.Net.WebClient]$null|type \[System.Net.WebClient\]
add-type|Add-Type -TypeDefinition $source|Add-Type
CASES
  # Jobs, refused where the session's language mode differs from the
  # system's, and syntax Windows PowerShell 5.1 cannot parse: a copy with one
  # each fails. ('~' apart: some lines hold '|'.)
  while IFS='~' read -r name line expected; do
    { cat "$base"; printf '%s\n' "$line"; } >"$scratch/$name.ps1"
    compatible "$scratch/$name.ps1" >"$scratch/broken.log" 2>&1
    [ $? -eq 1 ] && grep -q -F -- "$expected" "$scratch/broken.log"
    result $? "a script with $name fails the job and PowerShell 5.1 check"
  done <<'CASES'
start-job~$job = Start-Job -ScriptBlock { & $check --remediation }~starts a job (Start-Job)
thread-job~$job = Start-ThreadJob { & $check --remediation }~starts a job (Start-ThreadJob)
parallel~$all = $names | ForEach-Object -Parallel { $_ }~starts a job (-Parallel)
remote-asjob~Invoke-Command -ComputerName a -ScriptBlock { Invoke-Command -ScriptBlock { 1 } -AsJob }~inside a script block
null-coalescing~$line = $lines[0] ?? 'none'~'??'
null-assignment~$line ??= 'none'~'??='
null-member~$name = ${entry}?.Machine~'?.'
escape~$mark = "`u{2713}"~'`u{}'
clean-block~function Stop-All { process { 1 } clean { 2 } }~a clean block
custom-object~$row = [pscustomobject]@{ Status = 1 }~[pscustomobject] literal
ternary~$code = $status -eq 1 ? 1 : 0~'?:'
and-chain~& $check --remediation && exit 0~'&&'
or-chain~& $check --remediation || exit 1~'||'
CASES
fi
# The facts several files state alike: folder, marker, programs, exit codes
# (against fleet/README.md), time limits against the programs' deadlines,
# the collector's columns against the check's.
python3 "$root/tests/fleet/check_facts.py" "$root" >"$scratch/facts.log" 2>&1
status=$?
sed 's/^/  /' "$scratch/facts.log" | grep -v '^  \.*$'
result $status "the kit's files state its shared facts alike (tests/fleet/check_facts.py)"

# Ansible: the playbook, against the collections Debian's ansible ships.
cd "$fleet"
ansible-playbook --syntax-check -i localhost, kovex_deepclean.yml >"$scratch/syntax.log" 2>&1
status=$?
[ $status -eq 0 ] || sed 's/^/  /' "$scratch/syntax.log"
result $status "the playbook passes ansible-playbook --syntax-check"

sed 's/ansible\.windows\.win_copy:/ansible.windows.win_copy_nothing:/' kovex_deepclean.yml \
  >"$scratch/unknown_module.yml"
grep -q win_copy_nothing "$scratch/unknown_module.yml" &&
  ! ansible-playbook --syntax-check -i localhost, "$scratch/unknown_module.yml" \
      >"$scratch/unknown.log" 2>&1 &&
  grep -q "couldn't resolve module" "$scratch/unknown.log"
result $? "--syntax-check resolves the module names (an unknown one fails)"

# Its decisions, through Ansible's own templating, with the Python that
# runs Ansible.
read -r -a ansible_python < <(sed -n '1s/^#! *//p' "$(command -v ansible-playbook)")
"${ansible_python[@]}" "$root/tests/fleet/check_playbook.py" kovex_deepclean.yml >"$scratch/decisions.log" 2>&1
status=$?
[ $status -eq 0 ] || sed 's/^/  /' "$scratch/decisions.log"
result $status "the playbook fails the check task exactly when the check did not run, and reports"

# Its tasks on the controller, run for real: two machines reached over WinRM
# (never contacted). First a run that fails on both machines at their first
# task on them: the machines' list still names both (Ansible then ends the
# run: no machine is left). Then a run from the saving of the documents (each machine's check
# result given): the documents saved, the page called once on the folder.
printf '%s\n' 'pc01 ansible_connection=winrm ansible_host=192.0.2.1' \
  'pc02 ansible_connection=winrm ansible_host=192.0.2.2' >"$scratch/inventory.ini"
printf '%s\n' '#!/bin/sh' 'printf "%s\n" "$@" >"$0.args"' 'ls "$3" >"$0.saw"' \
  'echo page >"$2"' >"$scratch/fleet-page"
chmod +x "$scratch/fleet-page"
document='{"clean":true,"complete":true,"traces":[],"unchecked":[]}'
ANSIBLE_NOCOLOR=1 ansible-playbook -i "$scratch/inventory.ini" kovex_deepclean.yml \
  -e kovex_version=1.2.3 -e ansible_winrm_operation_timeout_sec=2 \
  -e ansible_winrm_read_timeout_sec=3 \
  -e "kovex_results_dir=$scratch/results" -e "kovex_fleet_program=$scratch/fleet-page" \
  >"$scratch/failed.log" 2>&1
status=$?
[ $status -ne 0 ] && [ ! -e "$scratch/results/pc01.json" ] &&
  [ "$(cat "$scratch/results/machines.txt")" = "$(printf '%s\n' pc01 pc02)" ]
status=$?
[ $status -eq 0 ] || sed 's/^/  /' "$scratch/failed.log"
result $status "the playbook lists every machine of the play for the page, those that failed too"
ANSIBLE_NOCOLOR=1 ansible-playbook -i "$scratch/inventory.ini" kovex_deepclean.yml \
  --start-at-task "Save each machine's check document on the controller" \
  -e "{\"kovex_check\": {\"rc\": 0, \"stdout\": $(printf '%s' "$document" | python3 -c 'import json,sys; print(json.dumps(sys.stdin.read()))')}}" \
  -e "kovex_results_dir=$scratch/results" -e "kovex_fleet_program=$scratch/fleet-page" \
  >"$scratch/controller.log" 2>&1
status=$?
[ $status -eq 0 ] && [ "$(cat "$scratch/results/pc01.json")" = "$document" ] &&
  [ "$(cat "$scratch/results/pc02.json")" = "$document" ] &&
  [ "$(cat "$scratch/fleet-page.args")" = "$(printf '%s\n' --out "$scratch/results/kovex-fleet.html" "$scratch/results" --expect "$scratch/results/machines.txt")" ] &&
  [ "$(cat "$scratch/fleet-page.saw")" = "$(printf '%s\n' machines.txt pc01.json pc02.json)" ] &&
  [ -s "$scratch/results/kovex-fleet.html" ]
status=$?
[ $status -eq 0 ] || sed 's/^/  /' "$scratch/controller.log"
result $status "the playbook saves each machine's document on the controller, then writes the page from them"

ansible-lint --offline --nocolor kovex_deepclean.yml collections/requirements.yml \
  >"$scratch/lint.log" 2>&1
status=$?
[ $status -eq 0 ] || sed 's/^/  /' "$scratch/lint.log"
result $status "the playbook passes ansible-lint"

echo "fleet: $passed passed, $failed failed"
[ $failed -eq 0 ]
