#!/usr/bin/env python3
"""The peer of the import: what an analyst would write with pandas to move the same readings
into the same rows. It reads each variable's readings with read_sql, resamples them to the
variable's slots with the same statistic (the mean), rounds to the variable's decimals and
appends the slots with to_sql, all in one transaction. It checks no lock date and no approval
level, and it neither probes connections nor seeks stored rows.

  peer_pandas.py --source VIRev.sqlite --target FACILITY.sqlite --site ID --collector N
                 --from "yyyy-MM-dd HH:mm" --to "yyyy-MM-dd HH:mm"

Prints one line: peer variables=.. slots=.. readings=.. writes=.. seconds=..
"""

import argparse
import sqlite3
import sys
import time

import numpy as np
import pandas as pd

# Slot length in minutes by the interval marker, the first character of the type code.
SLOT_MINUTES = {"4": 240, "H": 60, "3": 30, "F": 15, "5": 5, "1": 1}
TABLE_SUFFIX = {240: "4", 60: "H", 30: "3", 15: "F", 5: "5", 1: "1"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--target", required=True)
    parser.add_argument("--site", default="BENCHSITE")
    parser.add_argument("--collector", type=int, default=101)
    parser.add_argument("--from", dest="start", required=True)
    parser.add_argument("--to", dest="end", required=True)
    args = parser.parse_args()

    t0 = time.perf_counter()
    source = sqlite3.connect(args.source)
    target = sqlite3.connect(args.target)
    target.execute("PRAGMA journal_mode=WAL")
    target.execute("PRAGMA synchronous=NORMAL")

    (table,) = source.execute("SELECT TableName FROM SYSTEMS WHERE SystemID = ?", (args.site,)).fetchone()
    if not table.replace("_", "").isalnum():
        sys.exit("peer: the site's table is not a plain name: %r" % table)
    variables = pd.read_sql_query(
        "SELECT varid, scadatag, vartype, SOURCE_CNN_APPROVAL AS approval, decplaces FROM VarDesc "
        "WHERE G2_Interface_ID = ? AND G2_Enabled = -1 ORDER BY varid",
        target, params=(args.collector,))

    start = pd.Timestamp(args.start)
    end = pd.Timestamp(args.end)
    frames = {}
    readings = slots = 0
    for v in variables.itertuples(index=False):
        minutes = SLOT_MINUTES.get(v.vartype[:1])
        if minutes is None:
            continue
        train, sensor = v.scadatag[3:].split(":", 1)
        data = pd.read_sql_query(
            "SELECT TimeDate, Data FROM %s WHERE SensorType = ? AND TrainNumber = ? "
            "AND TimeDate >= ? AND TimeDate < ? ORDER BY TimeDate" % table,
            source, params=(int(sensor), int(train), start.strftime("%Y-%m-%d %H:%M:%S.000"),
                            end.strftime("%Y-%m-%d %H:%M:%S.000")))
        readings += len(data)
        data["TimeDate"] = pd.to_datetime(data["TimeDate"], format="%Y-%m-%d %H:%M:%S.%f")
        means = data.set_index("TimeDate")["Data"].resample("%dmin" % minutes).mean().dropna()
        slots += int((end - start) / pd.Timedelta(minutes=minutes))
        if v.decplaces != 9999:
            # Halves away from zero on the decimal value, as the collector rounds (pandas' own
            # round goes to even on the binary value).
            f = 10.0 ** int(v.decplaces)
            means = np.sign(means) * np.floor(np.round(means.abs() * f, 6) + 0.5) / f
        stamps = means.index.strftime("%Y-%m-%d %H:%M:%S.000")
        frame = pd.DataFrame({
            "varid": v.varid,
            "slotstarttime": stamps,
            "datestamp": stamps,
            "curvalue": means.values,
            "status": int(v.approval),
            "forced": 0,
            "audituser": "SENVISTA",
            "audittimestamp": pd.Timestamp.now().strftime("%Y-%m-%d %H:%M:%S.000"),
        })
        frames.setdefault("DATADD" + TABLE_SUFFIX[minutes], []).append(frame)

    writes = 0
    with target:  # one transaction
        for name, parts in frames.items():
            rows = pd.concat(parts, ignore_index=True)
            rows.to_sql(name, target, if_exists="append", index=False)
            writes += len(rows)
    source.close()
    target.close()
    print("peer variables=%d slots=%d readings=%d writes=%d seconds=%.6f"
          % (len(variables), slots, readings, writes, time.perf_counter() - t0))


if __name__ == "__main__":
    main()
