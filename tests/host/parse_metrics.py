#!/usr/bin/python3
"""Parses a metrics file with the Prometheus client's own text-format parser
and prints each family as "FAMILY TYPE" and each sample as
"NAME{outcome} VALUE DIRECTORY" (a time stamp within the last hour as
"recent"), sorted; exits 1 on a parse error."""
import sys
import time

from prometheus_client.parser import text_string_to_metric_families

lines = []
try:
    with open(sys.argv[1], encoding="utf-8") as f:
        for family in text_string_to_metric_families(f.read()):
            lines.append(f"{family.name} {family.type}")
            for sample in family.samples:
                outcome = sample.labels.get("outcome", "")
                value = int(sample.value)
                if sample.name.endswith("_timestamp_seconds") and abs(time.time() - value) < 3600:
                    value = "recent"
                lines.append(f"{sample.name}{{{outcome}}} {value} {sample.labels['directory']}")
except Exception as e:  # the parser raises ValueError and others
    print(f"parse error: {e}")
    sys.exit(1)
print("\n".join(sorted(lines)))
