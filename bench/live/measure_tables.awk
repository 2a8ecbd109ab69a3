# The summary of measure.sh as Markdown: one table a scenario, then one of all.
# Reads the shares file (SCENARIO CONTENDER ROUND PROCESS PERCENT) and the
# rounds file (SCENARIO CONTENDER ROUND FAULTS MARKERS DROPOUTS BACK-MS LATENCY
# LINE-MS INPUT-FAULTS); list and who name the scenarios and contenders, in
# order.

FILENAME ~ /shares$/ {
  key = $1 " " $2
  if ($4 == "client") client[key] += $5; else server[key] += $5
  cpu_rounds[key " " $3] = 1
  next
}
{
  key = $1 " " $2
  rounds[key]++
  faults[key] += $4; markers[key] += $5; dropouts[key] += $6
  fl[key] = fl[key] " " $4; dl[key] = dl[key] " " $6
  il[key] = il[key] " " ($10 == "" ? "-" : $10)
  lat[key] = lat[key] sprintf(" %.1f", $8); latsum[key] += $8
  if ($7 != "-") {
    restarted[$1] = 1
    back[key] = back[key] " " ($7 == "never" ? "never" : $7) ($9 != "-" ? "/" $9 : "")
    if ($7 == "never" || $7 > 2000) slow[key] = 1
  }
}

function mean_cpu(key, which,   r, n) {
  n = 0
  for (r in cpu_rounds) if (index(r, key " ") == 1) n++
  return n ? (which == "client" ? client[key] : server[key]) / n : 0
}

function ratio(s, c,   base) {
  base = mean_cpu(s " loopback", "server")
  return base > 0 ? (mean_cpu(s " " c, "client") + mean_cpu(s " " c, "server")) / base : 0
}

# The targets SCENARIO misses for CONTENDER, as words; empty if none.
function missed(s, c,   key, loop, limit, out) {
  key = s " " c; loop = s " loopback"; out = ""
  if (faults[key] > faults[loop]) out = out ", faults"
  if (latsum[key] / rounds[key] > latsum[loop] / rounds[loop] + 1) out = out ", latency"
  limit = s ~ /^cycle/ ? 1.2 : (s == "steady" ? 1.5 : 0)
  if (limit && ratio(s, c) > limit) out = out ", processor"
  if (slow[key]) out = out ", back"
  return substr(out, 3)
}

END {
  ns = split(list, scen, " ")
  nc = split(who, cont, " ")
  for (i = 1; i <= ns; i++) {
    s = scen[i]
    printf "\n#### %s\n\n", s
    printf "| contender | faults per round | dropouts per round | the input's faults |"
    printf " latency per round, ms | client | server | whole system |%s\n",
      restarted[s] ? " back, ms (sound/line) |" : ""
    printf "|---|---|---|---|---|---|---|---|%s\n", restarted[s] ? "---|" : ""
    for (j = 1; j <= nc; j++) {
      c = cont[j]; key = s " " c
      printf "| `%s` |%s |%s |%s |%s | %s | %.2f%% | %.2fx |", c, fl[key], dl[key], il[key], lat[key],
        c == "loopback" ? "-" : sprintf("%.2f%%", mean_cpu(key, "client")),
        mean_cpu(key, "server"), ratio(s, c)
      printf "%s\n", restarted[s] ? back[key] " |" : ""
    }
    printf "\nTargets (faults at most the loopback's, latency at most its + 1 ms"
    if (s ~ /^cycle/) printf ", whole system at most 1.2x"
    if (s == "steady") printf ", whole system at most 1.5x"
    if (restarted[s]) printf ", sound back within 2000 ms"
    printf "):"
    for (j = 1; j < nc; j++) {
      m = missed(s, cont[j])
      printf " %s %s%s", cont[j], m == "" ? "met" : "missed " m, j < nc - 1 ? ";" : "\n"
    }
  }

  printf "\n#### All scenarios: faults / dropouts per round, latency, whole system\n\n"
  printf "| scenario |"
  for (j = 1; j <= nc; j++) printf " `%s` |", cont[j]
  printf " targets missed |\n|---|"
  for (j = 1; j <= nc; j++) printf "---|"
  print "---|"
  for (i = 1; i <= ns; i++) {
    s = scen[i]; printf "| %s |", s; all = ""
    for (j = 1; j <= nc; j++) {
      key = s " " cont[j]; n = rounds[key]
      printf " %.1f / %.1f, %.1f ms, %.2fx%s |", faults[key] / n, dropouts[key] / n,
        latsum[key] / n, ratio(s, cont[j]), restarted[s] ? ", back" back[key] : ""
      if (j < nc && (m = missed(s, cont[j])) != "") all = all "; " cont[j] ": " m
    }
    printf " %s |\n", all == "" ? "none" : substr(all, 3)
  }
}
