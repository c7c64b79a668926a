#!/usr/bin/env bash
# The Grafana dashboard is a dashboard of the recorders' series: valid JSON, every panel with queries on the
# dashboard's Prometheus, unique panel ids, and every query valid PromQL (promtool checks them as recording rules,
# with the dashboard's variables filled in). Argument: the dashboard file.
set -euo pipefail
command -v promtool >/dev/null || { echo "promtool is missing (Debian package prometheus)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$1" "$work/queries.yml" <<'PYTHON'
import json, sys

dashboard = json.load(open(sys.argv[1]))
errors = []
variables = {v["name"] for v in dashboard["templating"]["list"]}
if variables != {"datasource", "instance", "slot"}:
    errors.append(f"variables {sorted(variables)}")
ids = [p["id"] for p in dashboard["panels"]]
if len(ids) != len(set(ids)):
    errors.append("panel ids repeat")
queries = []
for panel in dashboard["panels"]:
    if panel["type"] == "row":
        continue
    if panel.get("datasource", {}).get("uid") != "${datasource}" or not panel.get("targets"):
        errors.append(f"panel {panel['title']!r} has no query on the dashboard's Prometheus")
    for target in panel.get("targets", []):
        queries.append(target["expr"])
for variable in dashboard["templating"]["list"]:
    if variable["type"] == "query":
        # label_values(SELECTOR, label): the selector must be a valid query.
        queries.append(variable["definition"][len("label_values("):].rsplit(",", 1)[0])
if errors:
    sys.exit("\n".join(errors))
with open(sys.argv[2], "w") as rules:
    rules.write("groups:\n  - name: dashboard\n    rules:\n")
    for number, query in enumerate(queries):
        query = query.replace("$instance", ".*").replace("$slot", ".*").replace("$__rate_interval", "5m")
        rules.write(f"      - record: dashboard_query_{number}\n        expr: {json.dumps(query)}\n")
print(f"{len(queries)} queries")
PYTHON
promtool check rules "$work/queries.yml"
