#!/usr/bin/env bash
# A whole run with the user aircraft parked at EHAM: the airport database is
# read, EHAM becomes the park airport, its archived stand file is downloaded
# from the download site stand-in, the user's stand is found and written to
# my_park_airports.txt, and at the close the learned file is saved.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"

new_run_folder "$exe"
install_run_data

start_eham_stand_ins

start_program

report() { echo "--- Log.txt"; cat Log.txt; echo "--- sitestub"; cat "$work/sitestub.out"; }

wait_for_text Log.txt "airports read" 60 || { report; fail "the airport database was not read"; }
wait_for_text Log.txt "The park airport is EHAM (AMS)" 90 || { report; fail "EHAM did not become the park airport"; }
wait_for_text Log.txt "Airport file read from 'archive/stock/EHAM.xml' for Amsterdam Airport Schiphol" 60 \
    || { report; fail "the archived stand file was not read"; }
# The user aircraft stands on D7.
wait_for_text Log.txt "my_park_airports.txt created with EHAM,D7" 60 || { report; fail "the user's stand was not found"; }
[ "$(cat airports/my_park_airports.txt)" = "EHAM,D7" ] || { report; fail "my_park_airports.txt: $(cat airports/my_park_airports.txt)"; }

expect_clean_close
grep -q "'airports\\\\learned\\\\stock\\\\EHAM.xml' saved with" Log.txt || { report; fail "the learned file was not saved"; }
[ -f airports/learned/stock/EHAM.xml ] || { report; fail "no learned file"; }
echo "airports run: ok"
