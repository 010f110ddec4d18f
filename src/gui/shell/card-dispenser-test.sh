#!/bin/sh
# SPDX-License-Identifier: MIT
# Starts the installed tool. The tool loads ./lib/libvarnak_c.so and keeps config.ini in the
# folder it runs from, so that folder must be one the user can write: the install folder itself
# when it is writable (an unpacked archive), otherwise a folder of the user's own whose lib/ holds
# a link to the installed simulator, or the vendor library the user put there instead.
set -eu

install_dir=$(dirname "$(readlink -f "$0")")
if [ -w "$install_dir" ]; then
    work_dir=$install_dir
else
    work_dir=${XDG_DATA_HOME:-$HOME/.local/share}/card-dispenser-test
    library=$work_dir/lib/libvarnak_c.so
    mkdir -p "$work_dir/lib"
    # Only a link is ever replaced, so a vendor library copied there stays in use.
    if [ -L "$library" ] || [ ! -e "$library" ]; then
        ln -sfn "$install_dir/lib/libvarnak_c.so" "$library"
    fi
fi

cd "$work_dir"
exec "$install_dir/bin/card-dispenser-test" "$@"
