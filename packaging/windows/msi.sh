#!/usr/bin/env bash
# Builds the per-user Windows installer from a folder of its files:
#   bash packaging/windows/msi.sh VERSION FOLDER OUTPUT.msi
# FOLDER holds Varnholt.exe, Varnholt-open.exe, README.md, LICENSE and the
# page, varnholt-VERSION-web.html. The same files give the same bytes: wixl
# runs under libfaketime at SOURCE_DATE_EPOCH (it stamps the clock into the
# summary and the cabinet), the files it packs get that time, and the codes
# that name this release are derived from VERSION: the ProductCode, so each
# release is a new product that replaces the older one in place, and the
# package code, which wixl would pick at random. The UpgradeCode, in the
# WiX source, is the same for every release. Needs wixl, msitools, faketime
# and uuidgen.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: msi.sh VERSION FOLDER OUTPUT.msi" >&2; exit 2; }
version=$1 stage=$2 out=$3
: "${SOURCE_DATE_EPOCH:?}"
here=$(cd "$(dirname "$0")" && pwd)
page=varnholt-$version-web.html
for file in Varnholt.exe Varnholt-open.exe README.md LICENSE "$page"; do
    [ -f "$stage/$file" ] || { echo "msi.sh: no $stage/$file" >&2; exit 1; }
done

# Name-based UUIDs (SHA-1) of the version, in the UpgradeCode's namespace.
upgrade_code=a3b6ed8f-7e83-4be8-bc4f-e217cefcd2cd
code() { uuidgen --sha1 --namespace "$upgrade_code" --name "varnholt $version $1" | tr a-f A-F; }
product_code=$(code product)
package_code=$(code package)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$stage/Varnholt.exe" "$stage/Varnholt-open.exe" "$stage/README.md" "$stage/LICENSE" \
    "$stage/$page" "$work/"
cp "$here/../icons/varnholt.ico" "$here/../icons/application-x-kelvane.ico" "$work/"
touch -d "@$SOURCE_DATE_EPOCH" "$work"/*

cp "$here/varnholt.wxs" "$work/"
(cd "$work" && TZ=UTC faketime -f "$(TZ=UTC date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
    wixl -a x64 -D Version="$version" -D ProductCode="$product_code" -D Page="$page" \
    -o varnholt.msi varnholt.wxs)

# The folder goes on the user's PATH before the entries already there (it
# holds no program but Varnholt's two, so it hides nothing of theirs), and
# uninstalling takes that entry alone away, its separator too ("=-": set on
# install, removed with the component; ";[~]" keeps the old value after it).
# .kelv becomes Varnholt's only where neither the user's classes nor the
# machine's name another program for it (the default value, read raw;
# Varnholt's own, from an older release, counts as unclaimed).
claimed='(NOT KELV_USER OR KELV_USER = "Varnholt.Recording") AND (NOT KELV_MACHINE OR KELV_MACHINE = "Varnholt.Recording")'
msibuild "$work/varnholt.msi" \
    -q "CREATE TABLE \`Environment\` (\`Environment\` CHAR(72) NOT NULL,
        \`Name\` CHAR(255) NOT NULL LOCALIZABLE, \`Value\` CHAR(255) LOCALIZABLE,
        \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`Environment\`)" \
    -q "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`)
        VALUES ('PATH', '=-PATH', '[INSTALLDIR];[~]', 'Path')" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`)
        VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`)
        VALUES ('WriteEnvironmentStrings', 5200)" \
    -q "INSERT INTO \`InstallUISequence\` (\`Action\`, \`Sequence\`) VALUES ('AppSearch', 50)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('AppSearch', 50)" \
    -q "INSERT INTO \`AppSearch\` (\`Property\`, \`Signature_\`) VALUES ('KELV_USER', 'KelvUser')" \
    -q "INSERT INTO \`AppSearch\` (\`Property\`, \`Signature_\`) VALUES ('KELV_MACHINE', 'KelvMachine')" \
    -q "INSERT INTO \`RegLocator\` (\`Signature_\`, \`Root\`, \`Key\`, \`Type\`)
        VALUES ('KelvUser', 1, 'Software\\Classes\\.kelv', 2)" \
    -q "INSERT INTO \`RegLocator\` (\`Signature_\`, \`Root\`, \`Key\`, \`Type\`)
        VALUES ('KelvMachine', 2, 'Software\\Classes\\.kelv', 18)" \
    -q "UPDATE \`Component\` SET \`Condition\` = '$claimed' WHERE \`Component\` = 'DefaultType'"
TZ=UTC faketime -f "$(TZ=UTC date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
    msibuild "$work/varnholt.msi" -s "Varnholt $version" "The Varnholt developers" "x64;1033" \
    "{$package_code}"
mv "$work/varnholt.msi" "$out"
