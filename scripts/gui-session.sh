# The dialog program set up for a download into a simulated product, everything temporary: the
# simulator on a pseudo-terminal, a port map that makes it COM7, the window's stored choices, the
# window itself. Sourced by scripts/try-gui and scripts/gui-screenshots, from the repository's
# top folder, after they have set:
#
#   me          the script's name, for its messages
#   interface   usb (two wires) or signal (one wire that echoes every byte)
#   baud        the bootloader's rate, also preset in the window
#   sam         1 for a Samsung S3F84ZB with a firmware file made on the fly, else 0 (a
#               dsPIC30F6014A that runs application 1.0 of product 12345, so the sample firmware,
#               1.1 of the same product, is an upgrade)
#   shown_folder  optional: the firmware file is copied there first, so pictures of the window
#               show that folder's path rather than one of the machine they were made on
#
# In the order they are called:
#   gui_session_choices   checks interface and baud and sets interface_type, baud_index, wiring
#   gui_session_build     builds tamrix and tamrix-sim (tamrix-cli too for a SAM) in
#                         $TAMRIX_BUILD_DIR, by default build-gui configured without the tests
#   gui_session_start     starts the product, maps COM$port to it, stores the window's choices;
#                         sets product, device, firmware, settings, log (the process log)
#   gui_session_open      starts the window in the background: gui_pid
#   gui_session_stop      ends the window and the product and removes the files (safe to repeat)

# The caller sets the inputs and reads the results, where shellcheck does not look.
# shellcheck shell=bash disable=SC2034,SC2154

port=7
work=""
shown_folder="${shown_folder:-}"
made_shown_folder=0
sim_pid=""
gui_pid=""

gui_session_choices() {
    # The window stores list positions, not values: Interface_Type 0/1, Download_Baud_Rate 0..7.
    case "$interface" in
        usb) interface_type=0; echo_flag=(); wiring="1:Tx 2:Rx 3:Gnd (Built-in USB)" ;;
        signal) interface_type=1; echo_flag=(--echo); wiring="1:Signal 2:Vcc 3:Gnd" ;;
        *) echo "$me: --interface is usb or signal, not '$interface'" >&2; return 2 ;;
    esac
    local rates=(1200 2400 4800 9600 19200 38400 57600 115200) i
    baud_index=-1
    for i in "${!rates[@]}"; do
        if [ "${rates[$i]}" = "$baud" ]; then baud_index=$i; fi
    done
    if [ "$baud_index" -lt 0 ]; then
        echo "$me: --baud is one of ${rates[*]}, not '$baud'" >&2
        return 2
    fi
}

gui_session_build() {
    build=${TAMRIX_BUILD_DIR:-build-gui}
    local configure=() jobs targets=(tamrix tamrix-sim)
    if [ -z "${TAMRIX_BUILD_DIR:-}" ]; then
        configure=(-DTAMRIX_BUILD_TESTS=OFF -DTAMRIX_BUILD_BENCH=OFF)
    fi
    jobs=$(nproc 2>/dev/null || echo 2)
    if [ "$sam" = 1 ]; then targets+=(tamrix-cli); fi
    echo "$me: building ${targets[*]} in $build/ ..."
    cmake -S . -B "$build" "${configure[@]}" >/dev/null
    if [ ! -d "$build/app" ]; then
        echo "$me: CMake found no Qt 6 Widgets, so the dialog program is not built." >&2
        echo "         Install what the build needs with scripts/install-deps." >&2
        return 1
    fi
    cmake --build "$build" -j"$jobs" --target "${targets[@]}" >/dev/null
    build=$(cd "$build" && pwd)
    tamrix="$build/app/tamrix"
    sim="$build/sim/tamrix-sim"
}

# A firmware file for the SAM: 8 KiB of program bytes from address 0, sixty-four 128-byte rows,
# never meant to run.
gui_session_sam_firmware() {
    python3 - "$work/sam-firmware.hex" <<'EOF'
import random, sys
rng = random.Random(84)
lines = []
for address in range(0, 0x2000, 16):
    body = bytes([16, address >> 8, address & 0xFF, 0]) + bytes(rng.randrange(256) for _ in range(16))
    lines.append(":" + (body + bytes([(-sum(body)) & 0xFF])).hex().upper())
lines.append(":00000001FF")
open(sys.argv[1], "w").write("\r\n".join(lines) + "\r\n")
EOF
    "$build/cli/tamrix-cli" convert "$work/sam-firmware.hex" "$1" >/dev/null
}

gui_session_start() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/tamrix-gui.XXXXXX")
    local chip sim_args
    if [ "$sam" = 1 ]; then
        chip=S3F84ZB
        firmware="$work/sam-firmware.bin"
        gui_session_sam_firmware "$firmware"
        sim_args=(--chip "$chip")
        product="a Samsung $chip"
    else
        chip=dsPIC30F6014A
        firmware="$(pwd)/resources/sample/demo-firmware.bin"
        sim_args=(--chip "$chip" --product-code 12345 --app-version 1000)
        product="a $chip (product code 12345, application version 1.0)"
    fi
    if [ -n "$shown_folder" ]; then
        if [ ! -d "$shown_folder" ]; then mkdir -p "$shown_folder"; made_shown_folder=1; fi
        cp "$firmware" "$shown_folder/$(basename "$firmware")"
        firmware="$shown_folder/$(basename "$firmware")"
    fi

    "$sim" "${sim_args[@]}" "${echo_flag[@]}" --boot-baud "$baud" --pace \
        >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    device=""
    for _ in $(seq 50); do
        device=$(head -n1 "$work/sim.out" 2>/dev/null || true)
        if [ -n "$device" ] || ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
        sleep 0.1
    done
    if [ -z "$device" ]; then
        echo "$me: the simulated product did not start:" >&2
        cat "$work/sim.err" >&2
        return 1
    fi

    # COM7 is the simulator's pseudo-terminal, for this run only.
    echo "COM$port = $device" >"$work/ports"
    export TAMRIX_PORT_MAP="$work/ports"

    # The window's remembered choices, where QSettings keeps them on Linux: the organisation's
    # folder under XDG_CONFIG_HOME, the program's name with .conf.
    export XDG_CONFIG_HOME="$work/config"
    settings="$XDG_CONFIG_HOME/Local AppWizard-Generated Applications/tamrix.conf"
    mkdir -p "$(dirname "$settings")"
    # Quoted, so a comma in the path is not read as a list.
    local quoted=${firmware//\\/\\\\}
    quoted=${quoted//\"/\\\"}
    cat >"$settings" <<EOF
[Firmware_Downloader]
Interface_Type=$interface_type
Download_Port_Number=$((port - 1))
Download_Baud_Rate=$baud_index
Firmware_File_Path="$quoted"
EOF

    # The process log lies beside the program, or in the state folder when that cannot be written.
    if [ -w "$(dirname "$tamrix")" ]; then
        log="$(dirname "$tamrix")/ProcssLog.log"
    else
        log="${XDG_STATE_HOME:-$HOME/.local/state}/tamrix/ProcssLog.log"
    fi
}

gui_session_open() {
    "$tamrix" &
    gui_pid=$!
}

gui_session_stop() {
    local pid
    for pid in "$gui_pid" "$sim_pid"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    gui_pid=""
    sim_pid=""
    if [ -n "$work" ]; then rm -rf "$work"; fi
    work=""
    if [ "$made_shown_folder" = 1 ]; then rm -rf "$shown_folder"; made_shown_folder=0; fi
}
