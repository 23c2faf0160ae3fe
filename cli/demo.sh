# Sourced by ./zrv demo inside build/win64/bin with the Wine environment set.
echo "== The demo line (${ZRV_USBSIM}) as the hub library sees it"
"$WINE64" zrvcli.exe tree
echo
echo "== The library's answers"
"$WINE64" zrvcli.exe status
