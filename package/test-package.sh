# Sourced by ./zrv test-package after the package is built ($msi names it):
# installs it silently under Wine into a fresh prefix and checks what lands
# where, the training line as a choice, upgrades (from an older version and
# from a rebuild of the same one) and what an uninstall leaves behind.
# Uses ./zrv's log, runs_32bit, WIN32_SKIP, WINE32_LOADER and wine64_loader.

pkg_failures=0
pkg_fail() {
    printf 'FAILED: %s\n' "$*" >&2
    pkg_failures=$((pkg_failures + 1))
}
pkg_check() { # pkg_check "what" command...
    local what="$1"
    shift
    if "$@"; then printf '  ok: %s\n' "$what" >&2; else pkg_fail "$what"; fi
}

pkg_work="$BUILD/package-test"
# A run cut short may have left its prefix's wineserver behind.
[ ! -d "$pkg_work/prefix" ] || WINEPREFIX="$pkg_work/prefix" wineserver -k 2>/dev/null || true
rm -rf "$pkg_work"
mkdir -p "$pkg_work/run"
older_msi="$("$ROOT/package/build-msi.sh" "$pkg_work/older" 4.1.8.0)"
rebuilt_msi="$("$ROOT/package/build-msi.sh" "$pkg_work/rebuilt")"

export WINEPREFIX="$pkg_work/prefix" WINEDEBUG=-all
# No desktop entries on this machine for the Start-menu shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE64="$(wine64_loader)"
export WINELOADER="$WINE64"
trap 'WINEPREFIX="$pkg_work/prefix" wineserver -k 2>/dev/null || true' EXIT
log "making a fresh Wine prefix"
# One server for the whole test: a program started while an idle server is
# shutting down can lose it and exit 1, which looked like a failed install.
wineserver -p 2>/dev/null || true
"$WINE64" wineboot.exe -i >/dev/null 2>&1 || true

install_dir="$WINEPREFIX/drive_c/Program Files (x86)/VARN/Quorvel ZRV Hub Tool"
install_win='C:\Program Files (x86)\VARN\Quorvel ZRV Hub Tool'
tool_key='HKLM\Software\VARN\Halvex ZRV'
production_files=(QuorvelZRVTool.exe HalvexZRVLib.dll Pellvane.dll zelvo.dll KX7100API.dll
                  Lorvath.dll zrvcli.exe ShortcutRunner.exe)
training_files=(UsbSim.dll usbsimctl.exe Training/demo-line.json Training/demo-config.cfg
                Training/demo-firmware.bin)

winpath() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }
msiexec_runs=0
msiexec_qn() { # msiexec_qn /i|/x package [PROPERTY=value...]
    local action="$1" package="$2" rc=0
    shift 2
    msiexec_runs=$((msiexec_runs + 1))
    local log_file="$pkg_work/msiexec-$msiexec_runs.log"
    WINEDEBUG=err+all "$WINE64" msiexec.exe "$action" "$(winpath "$package")" /qn "$@" \
        /l*v "$(winpath "$log_file.msi")" </dev/null >"$log_file" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || {
        pkg_fail "msiexec $action $(basename "$package") $* exited $rc"
        tail -n 20 "$log_file" "$log_file.msi" 2>/dev/null | sed 's/^/    /' >&2
        return 1
    }
}

# A value of the tool's key in the given view (32 or 64), empty when absent.
reg_value() { # reg_value KEY NAME VIEW
    "$WINE64" reg.exe query "$1" /v "$2" "/reg:$3" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
reg_absent() { [ -z "$(reg_value "$@")" ] && ! "$WINE64" reg.exe query "$1" /v "$2" "/reg:$3" >/dev/null 2>&1; }

# The version of each installed product of this package's family, one line
# per product code, as Windows lists them (either registry view).
installed_versions() {
    local view
    for view in 32 64; do
        "$WINE64" reg.exe query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "/reg:$view" \
            2>/dev/null | tr -d '\r'
    done | awk '/^HKEY/ { key = $0; name = ""; version = "" }
                /DisplayName .*Quorvel ZRV Hub Tool$/ { name = 1 }
                /DisplayVersion/ { version = $NF }
                name && version { sub(/.*\\/, "", key); print key, version; name = ""; version = "" }' |
        sort -u | cut -d' ' -f2
}

shortcut_file() {
    find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users" \
         -path '*Start Menu/Programs/Quorvel ZRV Hub Tool/Quorvel ZRV Hub Tool.lnk' 2>/dev/null | head -1
}
shortcut_targets_tool() {
    local lnk
    lnk="$(shortcut_file)"
    [ -n "$lnk" ] && tr -d '\000' <"$lnk" | grep -aqF 'Quorvel ZRV Hub Tool\QuorvelZRVTool.exe'
}

all_present() { local f; for f in "$@"; do [ -f "$install_dir/$f" ] || return 1; done; }
none_present() { local f; for f in "$@"; do [ ! -e "$install_dir/$f" ] || return 1; done; }
same_as_built() {
    local f
    for f in "${production_files[@]}"; do
        local built="$BUILD/win32/bin/$f"
        [ "$f" != ShortcutRunner.exe ] || built="$BUILD/win64/bin/$f"
        cmp -s "$built" "$install_dir/$f" || return 1
    done
}
# The file version in a module's version resource (its VS_FIXEDFILEINFO).
module_version() {
    local offset
    offset=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -1 | cut -d: -f1)
    [ -n "$offset" ] || return 0
    od -An -tu2 -j$((offset + 8)) -N8 "$1" | awk '{ print $2 "." $1 "." $4 "." $3 }'
}
modules_carry_version() {
    local f
    for f in "${production_files[@]}" UsbSim.dll usbsimctl.exe; do
        [ "$(module_version "$install_dir/$f")" = "$version" ] || { echo "    $f: $(module_version "$install_dir/$f")" >&2; return 1; }
    done
}
templates_installed() {
    local t count=0
    for t in "$ROOT"/fixtures/templates/*.xml; do
        cmp -s "$t" "$install_dir/Templates/$(basename "$t")" || return 1
        count=$((count + 1))
    done
    [ "$count" -gt 0 ]
}
path_is_template_folder() {
    [ "$(reg_value "$tool_key" Path 32)" = "$install_win\\Templates\\" ]
}
no_key_in_64bit_view() { ! "$WINE64" reg.exe query "$tool_key" /reg:64 >/dev/null 2>&1; }
no_ep5_timeout() { reg_absent 'HKLM\SOFTWARE\VARN\KVR' EP5TIMEOUTPERIOD 32 && reg_absent 'HKLM\SOFTWARE\VARN\KVR' EP5TIMEOUTPERIOD 64; }
versions_are() { [ "$(installed_versions | tr '\n' ' ')" = "$* " ]; }
nothing_installed() { [ -z "$(installed_versions)" ]; }

# The installed zrvcli against the installed training line (a 32-bit program:
# only where this machine runs them).
ZRVCLI_SKIP=""
if [ -n "$WIN32_SKIP" ]; then
    ZRVCLI_SKIP="$WIN32_SKIP"
elif ! runs_32bit || [ ! -x "$WINE32_LOADER" ]; then
    ZRVCLI_SKIP="32-bit Wine cannot run here"
elif ! wine32_runs; then
    ZRVCLI_SKIP="32-bit Wine is installed but cannot run a 32-bit program in the fresh prefix"
fi
zrvcli_tree() { # zrvcli_tree OUT_FILE: the exit code of "zrvcli tree" on the demo line
    local rc=0
    (cd "$pkg_work/run" &&
        ZRV_USBSIM="$install_win\\Training\\demo-line.json" WINELOADER="$WINE32_LOADER" \
            "$WINE32_LOADER" "$install_win\\zrvcli.exe" tree >"$1" 2>&1 </dev/null) || rc=$?
    return "$rc"
}
check_zrvcli_on_training_line() {
    if [ -n "$ZRVCLI_SKIP" ]; then
        echo "  skipped: installed zrvcli against the training line ($ZRVCLI_SKIP)" >&2
        return
    fi
    local out="$pkg_work/zrvcli-tree.txt" rc=0
    zrvcli_tree "$out" || rc=$?
    pkg_check "installed zrvcli lists the training line's hubs (exit $rc)" \
        eval '[ "$rc" -eq 0 ] && grep -q "simulated USB line" "$out" && grep -q "^  1-1-2  Hub" "$out"'
}
check_zrvcli_without_training_line() {
    if [ -n "$ZRVCLI_SKIP" ]; then
        echo "  skipped: installed zrvcli without the training line ($ZRVCLI_SKIP)" >&2
        return
    fi
    local rc=0
    zrvcli_tree "$pkg_work/zrvcli-none.txt" || rc=$?
    pkg_check "installed zrvcli finds no simulator to run a line on (exit $rc)" [ "$rc" -eq 2 ]
}

log "installing $(basename "$msi") with its default features"
pkg_check "the package's ProductVersion is $version" \
    eval '[ "$(msiinfo export "$msi" Property | tr -d "\r" | sed -n "s/^ProductVersion\t//p")" = "$version" ]'
if msiexec_qn /i "$msi"; then
    pkg_check "the production files are the built ones" same_as_built
    pkg_check "the part templates are in Templates\\" templates_installed
    pkg_check "no training line unless chosen" none_present "${training_files[@]}" Training
    pkg_check "a Start-menu shortcut starts the tool" shortcut_targets_tool
    pkg_check "\"Path\" names the template folder, ending in a separator (32-bit view)" path_is_template_folder
    pkg_check "the key is not written to the 64-bit view" no_key_in_64bit_view
    pkg_check "no \"DefaultTcf\" from the installer" reg_absent "$tool_key" DefaultTcf 32
    pkg_check "\"EP5TIMEOUTPERIOD\" stays unset" no_ep5_timeout
    pkg_check "one product installed, $version" versions_are "$version"
    check_zrvcli_without_training_line
fi

log "uninstalling: the operator's files and the tool's \"DefaultTcf\" stay"
mkdir -p "$install_dir"
printf '[Topology]\r\nVersion=2.1\r\n' >"$install_dir/line-a.tcf"
printf 'time_utc,position\r\n' >"$install_dir/record.csv"
"$WINE64" reg.exe add "$tool_key" /v DefaultTcf /t REG_SZ /d "$install_win\\line-a.tcf" /reg:32 /f >/dev/null 2>&1 ||
    pkg_fail "reg add DefaultTcf"
if msiexec_qn /x "$msi"; then
    pkg_check "the program files and templates are gone" none_present "${production_files[@]}" Templates
    pkg_check "the operator's topology and record stay" all_present line-a.tcf record.csv
    pkg_check "the shortcut is gone" eval '[ -z "$(shortcut_file)" ]'
    pkg_check "\"Path\" is gone" reg_absent "$tool_key" Path 32
    pkg_check "the tool's \"DefaultTcf\" stays" \
        eval '[ "$(reg_value "$tool_key" DefaultTcf 32)" = "$install_win\\line-a.tcf" ]'
    pkg_check "no product installed" nothing_installed
fi

log "installing 4.1.8.0 with the training line, then upgrading"
# Both features named: Wine's installer does not add a chosen feature's parent.
if msiexec_qn /i "$older_msi" ADDLOCAL=ProductionTool,TrainingLine; then
    pkg_check "the chosen training line and the tool are installed" \
        all_present "${training_files[@]}" "${production_files[@]}"
    pkg_check "one product installed, 4.1.8.0" versions_are 4.1.8.0
    check_zrvcli_on_training_line
fi
if msiexec_qn /i "$msi"; then
    pkg_check "the upgrade replaced 4.1.8.0 with $version" versions_are "$version"
    pkg_check "the upgrade kept the training line" all_present "${training_files[@]}"
    pkg_check "every module's version resource says $version, the package's version" \
        modules_carry_version
    pkg_check "the upgrade kept the operator's files" all_present line-a.tcf record.csv
    pkg_check "the upgrade kept \"DefaultTcf\"" \
        eval '[ "$(reg_value "$tool_key" DefaultTcf 32)" = "$install_win\\line-a.tcf" ]'
    pkg_check "\"Path\" is set again" path_is_template_folder
fi
if msiexec_qn /i "$rebuilt_msi"; then
    pkg_check "a rebuild of $version replaces it, never beside it" versions_are "$version"
    pkg_check "the files are all there after the rebuild's upgrade" \
        all_present "${production_files[@]}" "${training_files[@]}"
fi
pkg_check "an older package refuses to go over a newer one" \
    eval '! "$WINE64" msiexec.exe /i "$(winpath "$older_msi")" /qn </dev/null >/dev/null 2>&1'
pkg_check "still one product installed, $version" versions_are "$version"
if msiexec_qn /x "$rebuilt_msi"; then
    pkg_check "uninstalled: the program and training files are gone" \
        none_present "${production_files[@]}" "${training_files[@]}" Templates Training
    pkg_check "uninstalled: no product left" nothing_installed
fi

if [ "$pkg_failures" -ne 0 ]; then
    log "package test: $pkg_failures check(s) failed"
    return 1
fi
log "package test passed"
