#!/usr/bin/python3
"""Drives a supply through POWER_TRQ's automation server with PyVISA.

Start the program with the server on (the Interface menu's "Automation
server...", or: powertrq --headless --sim PSQ-3323 --serve), then:

    python3 examples/pyvisa_example.py [TCPIP0::127.0.0.1::5025::SOCKET]

It identifies the supply, sets and reads back voltage and current on two
channels, switches the output on, reads the measurements, records a few
seconds and fetches the recording as CSV. After each step that can fail it
asks the error queue, and stops there with the error (exit code 1): a
recording that did not start must not be saved as this one.
"""
import sys
import time

import pyvisa


def check(psu, step):
    """Stops with the server's error if the step failed."""
    error = psu.query("SYST:ERR?")
    if not error.startswith("0,"):
        sys.exit(f"{step}: {error}")


def main(resource="TCPIP0::127.0.0.1::5025::SOCKET"):
    rm = pyvisa.ResourceManager("@py")
    psu = rm.open_resource(resource, read_termination="\n", write_termination="\n")
    psu.timeout = 5000

    idn = psu.query("*IDN?")
    print("Connected:", idn)
    fields = idn.split(",")
    if len(fields) != 4 or fields[0] != "POWER_TRQ" or fields[1] == "NONE":
        sys.exit(f"No supply on line: {idn}")

    # Channel 1 and 2: voltage and current limit, read back as set.
    for channel, volts, amps in ((1, 5.0, 0.5), (2, 12.25, 1.0)):
        psu.write(f"VOLT{channel} {volts};CURR{channel} {amps}")
        check(psu, f"Setting channel {channel}")
        assert float(psu.query(f"VOLT{channel}?")) == volts
        assert float(psu.query(f"CURR{channel}?")) == amps

    # *OPC? answers once the output is on and every channel has a reading.
    psu.write("OUTP ON")
    assert psu.query("*OPC?") == "1"
    check(psu, "Output on")
    assert psu.query("OUTP?") == "1"

    # Measurements are the latest polled readings (a real or simulated
    # supply reads a little off what was set).
    values = [float(v) for v in psu.query("MEAS:ALL?").split(",")]
    print("V1, I1, V2, I2, ...:", values)
    print("Reading age: %s ms" % psu.query("MEAS:AGE?"))
    assert abs(values[2] - 12.25) < 0.05, values

    # Record three seconds, save, and fetch the points as CSV.
    psu.write("REC:LENG 3;REC:STAR")
    check(psu, "Starting the recording")
    time.sleep(1)
    while psu.query("REC:STAT?") == "1":
        time.sleep(0.5)
    psu.write('REC:SAVE "PyVISA example"')
    check(psu, "Saving the recording")
    print("Saved as record", int(psu.query("REC:NUMB?")))
    csv = bytes(psu.query_binary_values("REC:DATA?", datatype="B", container=bytes))
    check(psu, "Fetching the recording")
    lines = csv.decode().strip().splitlines()
    print(len(lines) - 1, "points;", lines[0])
    assert len(lines) >= 4

    psu.write("OUTP OFF")
    check(psu, "Output off")
    psu.close()


if __name__ == "__main__":
    main(*sys.argv[1:])
