#!/bin/sh
# check-reproducible.sh [<folder>]
#
# The release is reproducible and signs as it should:
# - Builds the release archive (the `package` target) twice, in fresh build
#   trees from two copies of the source at different paths: once with
#   SOURCE_DATE_EPOCH unset, which takes the last commit's time, and once
#   with SOURCE_DATE_EPOCH set to that time. Both programs and archives must
#   be the same bytes, the archive's entries must carry that time, and the
#   banner its date.
# - Builds the fleet page's program for Linux into a .tar.gz beside the zip,
#   the same bytes from both builds, with a checksum that checks out.
# - Checks the archive's contents: the files, their order and permissions,
#   the fleet kit (every file of fleet/, the ones Windows runs with CR LF
#   line ends and the version written in), and SHA256SUMS as `sha256sum -c`
#   reads it, naming every file.
# - Checks that an edit of the manifest rebuilds the program.
# - Signs both releases with a throwaway certificate: the signed archives must
#   be the same bytes too, and every program must verify against the
#   certificate. A certificate without its password fails the build. The
#   fleet kit's PowerShell scripts are signed and verify too where
#   osslsigncode can sign scripts; where it cannot, the build says they are
#   unsigned. The signed programs are left in <folder> for the tests that
#   run them under Wine.
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unset KOVEX_SIGN_CERT KOVEX_SIGN_PASSWORD

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# package <build tree> <source tree> <log> [VAR=value...]: configures a
# release-only tree and builds the package target in it.
package() {
  tree=$1 source=$2 log=$3
  shift 3
  if ! env "$@" cmake -S "$source" -B "$tree" -G Ninja \
         -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
         -DCMAKE_BUILD_TYPE=Release -DKOVEX_BUILD_TESTS=OFF \
         -DKOVEX_BUILD_SIMULATOR=OFF >"$log" 2>&1 ||
     ! env "$@" cmake --build "$tree" --target package >>"$log" 2>&1; then
    cat "$log" >&2
    fail "building the package in $tree"
  fi
}

# The second copy of the source sits elsewhere, without the git history.
mkdir "$scratch/elsewhere"
tar -C "$source_dir" --exclude=./build --exclude=./.git -cf - . |
  tar -C "$scratch/elsewhere" -xf -

epoch=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || true)
if [ -n "$epoch" ]; then
  package "$scratch/one" "$source_dir" "$scratch/one.log" -u SOURCE_DATE_EPOCH
else
  echo "not a git checkout: both builds take a fixed SOURCE_DATE_EPOCH"
  epoch=1624276340
  package "$scratch/one" "$source_dir" "$scratch/one.log" SOURCE_DATE_EPOCH=$epoch
fi
package "$scratch/two" "$scratch/elsewhere" "$scratch/two.log" SOURCE_DATE_EPOCH=$epoch
grep -q "UNSIGNED release" "$scratch/one.log" || fail "the build did not say the release is unsigned"

name=$(cd "$scratch/one" && ls kovex-deepclean-*-win64.zip)
for program in kovex-deepclean.exe kovex-deepclean-check.exe kovex-deepclean-fleet.exe; do
  cmp "$scratch/one/$program" "$scratch/two/$program" ||
    fail "the two builds' $program differ"
done
cmp "$scratch/one/$name" "$scratch/two/$name" || fail "the two builds' archives differ"

# The fleet page's program for the Linux controller, beside the zip: the
# same bytes from both builds, its checksum file checks out, its entries
# carry the fixed time and no owner, and it runs here without libraries.
linux=$(cd "$scratch/one" && ls kovex-deepclean-fleet-*-linux-x86_64.tar.gz)
cmp "$scratch/one/$linux" "$scratch/two/$linux" || fail "the two builds' $linux differ"
cmp "$scratch/one/$linux.sha256" "$scratch/two/$linux.sha256" || fail "$linux.sha256 differs"
(cd "$scratch/one" && sha256sum --quiet --strict -c "$linux.sha256") || fail "$linux.sha256"
python3 - "$scratch/one/$linux" "$epoch" <<'PY' || fail "the Linux archive's entries"
import sys, tarfile
path, epoch = sys.argv[1], int(sys.argv[2])
top = path.rsplit("/", 1)[1][:-len(".tar.gz")]
with tarfile.open(path) as archive:
    members = archive.getmembers()
assert [m.name for m in members] == [top, top + "/LICENSE.txt",
                                     top + "/kovex-deepclean-fleet"], members
for member in members:
    assert member.mtime == epoch and member.uid == 0 and member.gid == 0, member.name
    assert member.uname == "" and member.gname == "", member.name
    assert member.mode == (0o644 if member.name.endswith(".txt") else 0o755), member.name
PY
mkdir "$scratch/linux"
tar -C "$scratch/linux" -xzf "$scratch/one/$linux"
fleet="$scratch/linux/${linux%.tar.gz}/kovex-deepclean-fleet"
"$fleet" --help >/dev/null || fail "the Linux kovex-deepclean-fleet does not run"
file "$fleet" | grep -q "statically linked" || fail "the Linux kovex-deepclean-fleet is not static"

# The banner carries the fixed date, as the compiler writes __DATE__ and
# __TIME__, and so do the archive's entries.
banner_date=$(LC_ALL=C date -u -d "@$epoch" '+%b %e %Y')
banner_time=$(LC_ALL=C date -u -d "@$epoch" '+%H:%M:%S')
grep -q "$banner_date" "$scratch/one/kovex-deepclean.exe" &&
  grep -q "$banner_time" "$scratch/one/kovex-deepclean.exe" ||
  fail "the program's banner does not carry $banner_date $banner_time"

python3 - "$scratch/one/$name" "$epoch" "$source_dir/fleet" <<'PY' || fail "the archive's entries"
import os, sys, time, zipfile
path, epoch, fleet = sys.argv[1], int(sys.argv[2]), sys.argv[3]
top = path.rsplit("/", 1)[1][:-len(".zip")] + "/"
with zipfile.ZipFile(path) as archive:
    infos = archive.infolist()
    contents = {info.filename: archive.read(info) for info in infos}
names = [info.filename for info in infos]
assert names == sorted(names, key=str.encode), names
expected = {top, top + "LICENSE.txt", top + "README.txt", top + "SHA256SUMS",
            top + "kovex-deepclean.exe", top + "kovex-deepclean-check.exe",
            top + "kovex-deepclean-fleet.exe",
            top + "fleet/", top + "fleet/collections/"}
# The fleet kit: every file of the source's fleet folder, as written, with
# CR LF line ends for those Windows runs and the project's version in place
# of @KOVEX_VERSION@ (Install.cmd's marker and the detection scripts name
# the same one).
version = top[len("kovex-deepclean-"):-len("-win64/")].encode()
fleet_files = [os.path.relpath(os.path.join(root, name), fleet).replace(os.sep, "/")
               for root, _, files in os.walk(fleet) for name in files]
assert len(fleet_files) >= 9, fleet_files
for relative in fleet_files:
    entry = top + "fleet/" + relative
    expected.add(entry)
    with open(os.path.join(fleet, relative), "rb") as source:
        written = source.read().replace(b"\r\n", b"\n")
    written = written.replace(b"@KOVEX_VERSION@", version)
    shipped = contents.get(entry)
    assert shipped is not None, entry
    if relative.endswith((".cmd", ".ps1")):
        assert shipped == written.replace(b"\n", b"\r\n"), entry
    else:
        assert shipped == written, entry
marker = b"cleanup-done-" + version + b".txt"
for name in ("Install.cmd", "Detect.ps1", "ConfigMgr-Detect.ps1"):
    text = contents[top + "fleet/" + name]
    assert b"@KOVEX_VERSION@" not in text, name
    assert marker in text or (name == "Install.cmd" and b"cleanup-done-%VERSION%.txt" in text
                              and b'set "VERSION=' + version + b'"' in text), name
playbook = contents[top + "fleet/kovex_deepclean.yml"]
assert b"@KOVEX_VERSION@" not in playbook and b'kovex_version: "' + version + b'"' in playbook
assert expected <= set(names), sorted(expected - set(names))
assert all(name.startswith(top) for name in names), names
want = time.gmtime(epoch)[:6]
want = want[:5] + (want[5] - want[5] % 2,)
for info in infos:
    assert info.date_time == want, (info.filename, info.date_time, want)
    mode = info.external_attr >> 16
    if info.filename.endswith("/"):
        assert mode == 0o40755, (info.filename, oct(mode))
    elif info.filename.endswith(".exe"):
        assert mode == 0o100755, (info.filename, oct(mode))
    else:
        assert mode == 0o100644, (info.filename, oct(mode))
    assert info.extra == b"", info.filename
PY

# SHA256SUMS checks out, and names every other file.
mkdir "$scratch/unsigned"
(cd "$scratch/unsigned" && unzip -q "$scratch/one/$name")
folder="$scratch/unsigned/${name%.zip}"
(cd "$folder" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS"
[ "$(cd "$folder" && find . -type f ! -name SHA256SUMS | cut -c3- | LC_ALL=C sort)" = \
  "$(cut -c67- "$folder/SHA256SUMS")" ] || fail "SHA256SUMS does not name every file"
grep -q '  fleet/Detect\.ps1$' "$folder/SHA256SUMS" || fail "SHA256SUMS does not name the fleet kit"

# A build with nothing changed compiles nothing (the fixed time's stamp is
# rewritten only when the time changes); an edit of the manifest rebuilds
# the program.
SOURCE_DATE_EPOCH=$epoch cmake --build "$scratch/two" --target kovex-deepclean >"$scratch/again.log" 2>&1 ||
  { cat "$scratch/again.log" >&2; fail "building again"; }
grep -E 'Building|Linking' "$scratch/again.log" && fail "a build with nothing changed rebuilt"
touch "$scratch/elsewhere/src/run/kovex-deepclean.manifest"
SOURCE_DATE_EPOCH=$epoch cmake --build "$scratch/two" --target kovex-deepclean >"$scratch/again.log" 2>&1 ||
  { cat "$scratch/again.log" >&2; fail "building again"; }
grep -q 'kovex-deepclean.rc' "$scratch/again.log" && grep -q 'Linking' "$scratch/again.log" ||
  fail "an edit of the manifest does not rebuild the program"

# Signing, with a throwaway certificate.
(cd "$scratch" &&
  openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem \
    -days 2 -subj "/CN=Kovex Deep Clean test signer" \
    -addext "extendedKeyUsage=codeSigning" 2>/dev/null &&
  openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 \
    -passout pass:throwaway) || fail "making the throwaway certificate"
cp "$scratch/one/$name" "$scratch/unsigned.zip"
# Tree one's builds keep the time they started with.
if [ "$epoch" = 1624276340 ]; then one_epoch=SOURCE_DATE_EPOCH=$epoch; else one_epoch="-u SOURCE_DATE_EPOCH"; fi
# A certificate without its password is an error, not an unsigned release.
# shellcheck disable=SC2086
if env $one_epoch KOVEX_SIGN_CERT="$scratch/cert.p12" cmake --build "$scratch/one" --target package \
     >"$scratch/half.log" 2>&1; then
  fail "a certificate without a password made a release"
fi
grep -q "KOVEX_SIGN_PASSWORD is not" "$scratch/half.log" ||
  { cat "$scratch/half.log" >&2; fail "no word of the missing password"; }
sign="KOVEX_SIGN_CERT=$scratch/cert.p12 KOVEX_SIGN_PASSWORD=throwaway"
# shellcheck disable=SC2086
package "$scratch/one" "$source_dir" "$scratch/one-signed.log" $one_epoch $sign
# shellcheck disable=SC2086
package "$scratch/two" "$scratch/elsewhere" "$scratch/two-signed.log" SOURCE_DATE_EPOCH=$epoch $sign
grep -q "signed kovex-deepclean.exe" "$scratch/one-signed.log" || fail "the build did not say it signed"
cmp -s "$scratch/unsigned.zip" "$scratch/one/$name" && fail "the signed archive is the unsigned one"
cmp "$scratch/one/$name" "$scratch/two/$name" || fail "the two signed archives differ"

mkdir "$scratch/signed"
(cd "$scratch/signed" && unzip -q "$scratch/one/$name")
folder="$scratch/signed/${name%.zip}"
(cd "$folder" && sha256sum --quiet --strict -c SHA256SUMS) || fail "the signed release's SHA256SUMS"
for program in "$folder"/*.exe; do
  osslsigncode verify -CAfile "$scratch/cert.pem" -in "$program" >"$scratch/verify.log" 2>&1 ||
    { cat "$scratch/verify.log" >&2; fail "$(basename "$program") does not verify"; }
done
# The fleet kit's PowerShell scripts: signed, and verifying, where this
# osslsigncode can sign a script (tried on its own here); else left as they
# were, and the build says so.
printf 'Write-Output probe\r\n' >"$scratch/probe.ps1"
if osslsigncode sign -pkcs12 "$scratch/cert.p12" -pass throwaway -h sha256 \
     -in "$scratch/probe.ps1" -out "$scratch/probe-signed.ps1" >/dev/null 2>&1; then
  for script in "$folder"/fleet/*.ps1; do
    grep -q "signed fleet/$(basename "$script")" "$scratch/one-signed.log" ||
      fail "the build did not say it signed fleet/$(basename "$script")"
    osslsigncode verify -CAfile "$scratch/cert.pem" -in "$script" >"$scratch/verify.log" 2>&1 ||
      { cat "$scratch/verify.log" >&2; fail "fleet/$(basename "$script") does not verify"; }
  done
  echo "the fleet kit's PowerShell scripts are signed"
else
  grep -q "UNSIGNED PowerShell scripts" "$scratch/one-signed.log" ||
    fail "the build did not say the PowerShell scripts are unsigned"
  for script in "$folder"/fleet/*.ps1; do
    cmp -s "$script" "$scratch/unsigned/${name%.zip}/fleet/$(basename "$script")" ||
      fail "fleet/$(basename "$script") changed though it could not be signed"
  done
  echo "this osslsigncode cannot sign PowerShell scripts: they are unsigned"
fi

# The check can fail: the unsigned program does not verify.
osslsigncode verify -CAfile "$scratch/cert.pem" \
  -in "$scratch/unsigned/${name%.zip}/kovex-deepclean.exe" >/dev/null 2>&1 &&
  fail "an unsigned program verified"

if [ -n "$out" ]; then
  mkdir -p "$out"
  cp "$folder/kovex-deepclean.exe" "$folder/kovex-deepclean-check.exe" "$out/"
fi
echo "$name, unsigned: $(wc -c <"$scratch/unsigned.zip") bytes, sha256 $(sha256sum <"$scratch/unsigned.zip" | cut -c1-64)"
echo "$name, signed:   $(wc -c <"$scratch/one/$name") bytes, sha256 $(sha256sum <"$scratch/one/$name" | cut -c1-64)"
echo "same bytes from both builds, unsigned and signed (SOURCE_DATE_EPOCH=$epoch)"
