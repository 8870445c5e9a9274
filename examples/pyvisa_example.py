#!/usr/bin/python3
"""Drives a supply through POWER_TRQ's automation server with PyVISA.

Start the program with the server on (the Interface menu's "Automation
server...", or: powertrq --headless --sim PSQ-3323 --serve), then:

    python3 examples/pyvisa_example.py [TCPIP0::127.0.0.1::5025::SOCKET]

It identifies the supply, sets and reads back voltage and current on two
channels, switches the output on, reads the measurements, records a few
seconds and fetches the recording as CSV.
"""
import sys
import time

import pyvisa


def main(resource="TCPIP0::127.0.0.1::5025::SOCKET"):
    rm = pyvisa.ResourceManager("@py")
    psu = rm.open_resource(resource, read_termination="\n", write_termination="\n")
    psu.timeout = 5000

    idn = psu.query("*IDN?")
    print("Connected:", idn)
    maker, model, _serial, version = idn.split(",")
    assert maker == "POWER_TRQ" and model != "NONE", idn

    # Channel 1 and 2: voltage and current limit, read back as set.
    for channel, volts, amps in ((1, 5.0, 0.5), (2, 12.25, 1.0)):
        psu.write(f"VOLT{channel} {volts};CURR{channel} {amps}")
        assert float(psu.query(f"VOLT{channel}?")) == volts
        assert float(psu.query(f"CURR{channel}?")) == amps

    psu.write("OUTP ON")
    assert psu.query("*OPC?") == "1"
    assert psu.query("OUTP?") == "1"

    # Measurements come from the latest polled readings (a real or simulated
    # supply reads a little off what was set).
    deadline = time.time() + 5
    while abs(float(psu.query("MEAS:VOLT? 2")) - 12.25) > 0.05 and time.time() < deadline:
        time.sleep(0.1)
    values = [float(v) for v in psu.query("MEAS:ALL?").split(",")]
    print("V1, I1, V2, I2, ...:", values)
    print("Reading age: %s ms" % psu.query("MEAS:AGE?"))
    assert abs(values[2] - 12.25) < 0.05

    # Record three seconds, save, and fetch the points as CSV.
    psu.write("REC:LENG 3;REC:STAR")
    time.sleep(1)
    while psu.query("REC:STAT?") == "1":
        time.sleep(0.5)
    psu.write('REC:SAVE "PyVISA example"')
    print("Saved as record", psu.query("REC:NUMB?"))
    csv = bytes(psu.query_binary_values("REC:DATA?", datatype="B", container=bytes))
    lines = csv.decode().strip().splitlines()
    print(len(lines) - 1, "points;", lines[0])
    assert len(lines) >= 4

    psu.write("OUTP OFF")
    assert psu.query("SYST:ERR?") == '0,"No error"'
    psu.close()


if __name__ == "__main__":
    main(*sys.argv[1:])
