# Sourced by ./zrv demo inside build/win64/bin with the Wine environment set:
# the demo line's tree, both hub families programmed in OTP and SPI mode (one
# hub's OTP programming fails, as its fixture says), an OTP dump in hex, and
# the production record. Chip contents pass from one zrvcli run to the next
# through a state file, as they would stay in real hubs.
demo_dir="$PWD/demo"
rm -rf "$demo_dir"
mkdir -p "$demo_dir"
export ZRV_USBSIM_STATE="Z:$demo_dir/chips.json"
record='demo\record.csv'
config='samples\demo-config.cfg'
image='samples\demo-firmware.bin'
if [ ! -f samples/demo-config.cfg ]; then
    echo "The demo's sample files were not made (no C++ compiler for the build machine)." >&2
    return 1
fi

# Runs zrvcli with the arguments shown, tells its exit code.
zrvcli() {
    echo "\$ zrvcli $*"
    local rc=0
    "$WINE64" zrvcli.exe "$@" || rc=$?
    echo "(exit code $rc)"
    echo
}

echo "== The demo line (${ZRV_USBSIM}) as the hub library sees it"
zrvcli tree

echo "== First-family hubs: OTP with verify, serial numbers from each hub's UUID"
echo "   (the hub at 1-1-3 refuses OTP programming: its fixture has a fault)"
zrvcli program --family first --file "$config" --mode otp --verify --serial-uuid --record "$record"

echo "== Second-family hubs: OTP, serial numbers QZ0001 on"
zrvcli program --family second --file "$config" --mode otp --verify \
    --serial-prefix QZ --serial-start 0001 --record "$record"

echo "== SPI flash: a firmware image into a hub of each family"
zrvcli program --position 1-1-2 --position 1-1-4 --file "$image" --mode spi --verify \
    --record "$record"

echo "== A saved topology: each position's settings and serial counter from one file"
# What the tool saves for a line: 1-1-2-3 in OTP mode with a decimal counter, 1-1-4 in SPI
# mode with the image, the other positions without an entry. The run writes the counter back.
win_path() { winepath -w "$PWD/$1" 2>/dev/null || echo "$1"; }
{
    printf '[Header]\r\nCount=2\r\nVersion=2.1\r\n'
    printf '[1-1-2-3]\r\nUINAME=Station A\r\nISHUB=1\r\nPTYPE=1\r\nMEMTYPE=3\r\nVERIFY=1\r\n'
    printf 'DOPROGRAM=1\r\nBCFGFILE=%s\r\nSERTYPE=2\r\nSERALPHA=LA\r\nSERSTART=100\r\n' \
        "$(win_path samples/demo-config.cfg)"
    printf 'SERMAX=999\r\nSERINC=1\r\nSERCURRENT=100\r\nSERHEXFMT=0\r\n'
    printf '[1-1-4]\r\nUINAME=Station B\r\nISHUB=1\r\nPTYPE=1\r\nMEMTYPE=2\r\nVERIFY=1\r\n'
    printf 'DOPROGRAM=1\r\nBCFGFILE=%s\r\nSERTYPE=3\r\n' "$(win_path samples/demo-firmware.bin)"
    printf '[Header]\r\nCount=2\r\n'
} > "$demo_dir/line.tcf"
grep -a SERCURRENT "$demo_dir/line.tcf" | tr -d '\r' | sed 's/^/   before: /'
zrvcli program --topology 'demo\line.tcf' --record "$record"
grep -a SERCURRENT "$demo_dir/line.tcf" | tr -d '\r' | sed 's/^/   after:  /'
echo

echo "== The OTP of 1-1-2, dumped by another process"
zrvcli dump-otp 1-1-2 'demo\otp-1-1-2.bin'
# sed, not head: the whole dump is read, so nothing dies of a closed pipe.
od -A x -t x1 "$demo_dir/otp-1-1-2.bin" | sed -n 1,12p
echo

echo "== The production record ($record)"
cat "$demo_dir/record.csv"
