#!/usr/bin/env bash
# Builds the installer from built trees with wixl:
#   build-msi.sh OUT_DIR [VERSION]
# makes OUT_DIR/QuorvelZRVTool-<version>.msi from build/win32 (the release set),
# ShortcutRunner.exe from build/win64, the part templates and the demo line.
# VERSION defaults to the version the modules were built with; the package
# test passes an older one to have something to upgrade from.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(dirname "$HERE")"
BIN32="$ROOT/build/win32/bin"
BIN64="$ROOT/build/win64/bin"
out_dir="$1"
version="${2:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$ROOT/build/win32/CMakeCache.txt")}"
case "$version" in
    [0-9]*.[0-9]*.[0-9]*.[0-9]*) ;;
    *) echo "build-msi.sh: no product version (got '$version')" >&2; exit 2 ;;
esac

for file in "$BIN32"/{QuorvelZRVTool.exe,HalvexZRVLib.dll,Pellvane.dll,zelvo.dll,KX7100API.dll} \
            "$BIN32"/{Lorvath.dll,zrvcli.exe,UsbSim.dll,usbsimctl.exe} \
            "$BIN32"/samples/{demo-config.cfg,demo-firmware.bin} "$BIN64/ShortcutRunner.exe"; do
    [ -f "$file" ] || { echo "build-msi.sh: $file is missing (build first)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The template folder's components, one per file, in a stable order.
(cd "$ROOT/fixtures/templates" && find . -maxdepth 1 -type f -name '*.xml' | LC_ALL=C sort) |
    wixl-heat -p ./ --directory-ref TEMPLATEDIR --component-group TemplateFiles \
              --var var.Templates >"$work/templates.wxs"

msi="$out_dir/QuorvelZRVTool-$version.msi"
mkdir -p "$out_dir"
# wixl takes file sources relative to the folder it runs in, never absolute.
(cd "$ROOT" && wixl -a x86 -o "$work/package.msi" \
     -D Version="$version" -D Bin32=build/win32/bin -D Bin64=build/win64/bin \
     -D Fixtures=fixtures -D Samples=build/win32/bin/samples -D Templates=fixtures/templates \
     "$HERE/QuorvelZRVTool.wxs" "$work/templates.wxs")

# wixl drops the upgrade rule's inclusive maximum and feature migration:
# write the Upgrade table as meant. 769 = migrate features (1), minimum
# inclusive (0x100), maximum inclusive (0x200), so a rebuild of the same
# version replaces the installed one too; 2 = only detect a newer version.
upgrade_code="$(msiinfo export "$work/package.msi" Property | sed -n 's/^UpgradeCode\t//p' | tr -d '\r')"
[ -n "$upgrade_code" ] || { echo "build-msi.sh: the package has no UpgradeCode" >&2; exit 1; }
{
    printf 'UpgradeCode\tVersionMin\tVersionMax\tLanguage\tAttributes\tRemove\tActionProperty\r\n'
    printf 's38\tS20\tS20\tS255\ti4\tS255\ts72\r\n'
    printf 'Upgrade\tUpgradeCode\tVersionMin\tVersionMax\tLanguage\tAttributes\r\n'
    printf '%s\t0.0.0.0\t%s\t\t769\t\tWIX_UPGRADE_DETECTED\r\n' "$upgrade_code" "$version"
    printf '%s\t%s\t\t\t2\t\tWIX_DOWNGRADE_DETECTED\r\n' "$upgrade_code" "$version"
} >"$work/Upgrade.idt"
# What wixl leaves out besides: the training line is kept where an earlier
# install left its mark (TRAININGLINE), and the tool itself cannot be left out.
{
    printf 'Feature_\tLevel\tCondition\r\n'
    printf 's38\ti2\tS255\r\n'
    printf 'Condition\tFeature_\tLevel\r\n'
    printf 'TrainingLine\t1\tTRAININGLINE\r\n'
} >"$work/Condition.idt"
msibuild "$work/package.msi" -i "$work/Upgrade.idt" -i "$work/Condition.idt" \
    -q "UPDATE \`Feature\` SET \`Attributes\` = 16 WHERE \`Feature\` = 'ProductionTool'"

mv "$work/package.msi" "$msi"
echo "$msi"
