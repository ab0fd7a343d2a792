#!/usr/bin/env python3
"""Runs kestrune-monitor --once --metrics on the default scenario and on one
whose metrics are known, and reads the files with the Prometheus client's own
exposition-format parser. Exits 77 (skipped) without that parser."""
import os
import subprocess
import sys
import tempfile
import time

try:
    from prometheus_client.parser import text_string_to_metric_families
except ImportError:
    print("prometheus_client is not installed: skipped")
    sys.exit(77)

tools, data = sys.argv[1], sys.argv[2]


def monitor(work, scenario):
    """The samples of one --once run, by (name, frozenset of labels)."""
    env = dict(os.environ, KESTRUNE_REGISTRY=os.path.join(work, "registry.db"),
               XDG_STATE_HOME=os.path.join(work, "state"))
    env.pop("KESTRUNE_SCENARIO", None)
    if scenario:
        env["KESTRUNE_SCENARIO"] = scenario
    path = os.path.join(work, "kestrune.prom")
    subprocess.run([os.path.join(tools, "kestrune-monitor"), "--once", "--interval", "0",
                    "--metrics", path], env=env, check=True, stdout=subprocess.DEVNULL)
    assert sorted(os.listdir(work)) == ["kestrune.prom", "registry.db", "state"], os.listdir(work)
    with open(path, encoding="utf-8") as f:
        families = list(text_string_to_metric_families(f.read()))
    samples = {}
    for family in families:
        for s in family.samples:
            samples[(s.name, frozenset(s.labels.items()))] = s.value
    return samples


def value(samples, metric, **labels):
    found = [v for (n, ls), v in samples.items()
             if n == metric and all((k, str(w)) in ls for k, w in labels.items())]
    assert len(found) == 1, f"{metric} {labels}: {len(found)} samples"
    return found[0]


failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: {got!r}, expected {want!r}")


with tempfile.TemporaryDirectory() as work:
    s = monitor(work, None)
    check("default adapters", value(s, "kestrune_adapters"), 2)
    check("default mirror online",
          value(s, "kestrune_set_state", adapter=0, set=0, state="Online"), 1)
    for member in (0, 1):
        check(f"default member {member} current",
              value(s, "kestrune_member_state", set=0, member=member, state="Current"), 1)
    check("default spares", value(s, "kestrune_spare_drives", adapter=0), 1)
    check("default poll failed", value(s, "kestrune_last_poll_failed"), 0)
    last = value(s, "kestrune_last_successful_poll_timestamp_seconds")
    check("default last poll is now", abs(last - time.time()) < 600, True)

with tempfile.TemporaryDirectory() as work:
    s = monitor(work, os.path.join(data, "metrics.json"))
    check("mirror online", value(s, "kestrune_set_state", set=0, name="MIRROR", state="Online"), 1)
    check("mirror rebuilding member",
          value(s, "kestrune_member_state", set=0, member=1, device_index=1,
                location="Channel 1 Device", state="Rebuild"), 1)
    check("rebuild percent", value(s, "kestrune_member_rebuild_percent", set=0, member=1), 35)
    check("stripe member dropped",
          value(s, "kestrune_member_state", set=1, name="STRIPE", member=0, state="Dropped"), 1)
    check("stripe member not current",
          value(s, "kestrune_member_state", set=1, member=0, state="Current"), 0)
    check("spares", value(s, "kestrune_spare_drives", adapter=0), 1)
    check("smart exceeded", value(s, "kestrune_device_smart_status", serial="BAD",
                                  status="Exceeded"), 1)
    check("smart ok", value(s, "kestrune_device_smart_status", serial="M0", status="OK"), 1)
    events = sum(value(s, "kestrune_events_total", severity=sev)
                 for sev in ("informational", "warning", "error", "other"))
    check("events counted", events >= 1, True)
    check("poll failed", value(s, "kestrune_last_poll_failed"), 0)

for failure in failures:
    print("FAIL:", failure)
if failures:
    sys.exit(1)
print("metrics ok")
