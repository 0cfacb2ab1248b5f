# Turns keystroke_timing records (one run per build of tamsel.dll,
# concatenated) into one table: per build, the time of a keystroke with the
# module's dialog procedure and with the ignoring one, the module's share of a
# keystroke, and the time spent inside the module's procedure. Medians, with
# means after them. Exits 1 when a figure is missing.

function value_of(key,    i) {
  for (i = 2; i <= NF; ++i)
    if (index($i, key "=") == 1) return substr($i, length(key) + 2)
  return ""
}

function pair(a, b, format) {
  if (a == "" || b == "") {
    missing = 1
    return "missing"
  }
  return sprintf(format " (mean " format ")", a, b)
}

function percent(a, b) {
  if (a == "" || b == "") {
    missing = 1
    return "missing"
  }
  return sprintf("%.1f%% (mean %.1f%%)", 100 * a, 100 * b)
}

{ abi = value_of("abi") }
!(abi in seen) && abi != "" {
  seen[abi] = 1
  order[++builds] = abi
}
$1 == "keystroke" {
  key = abi SUBSEP value_of("procedure")
  median[key] = value_of("median_us")
  mean[key] = value_of("mean_us")
  setup = value_of("chars") " characters in Input, " value_of("keys") \
    " keystrokes typed in each of " value_of("rounds") " dialogs per procedure"
}
$1 == "handling" {
  median[abi SUBSEP "handling"] = value_of("median_us")
  mean[abi SUBSEP "handling"] = value_of("mean_us")
}
$1 == "share" {
  share[abi] = value_of("median")
  share_mean[abi] = value_of("mean")
  handling_share[abi] = value_of("handling")
}

END {
  if (builds == 0) {
    print "keystroke_table: no records" > "/dev/stderr"
    exit 1
  }
  printf "Keystrokes in the lookup dialog under Wine: %s; each figure a median, the mean after it.\n\n", setup
  print "| tamsel.dll | µs per keystroke, module's procedure | µs, ignoring procedure | module's share | µs inside the module's procedure | its share |"
  print "|---|---|---|---|---|---|"
  for (i = 1; i <= builds; ++i) {
    abi = order[i]
    label = abi == "gnu" ? "GNU ABI" : abi == "msvc" ? "Microsoft ABI" : abi
    handling = abi SUBSEP "handling"
    printf "| %s | %s | %s | %s | %s | %s |\n", label,
      pair(median[abi SUBSEP "module"], mean[abi SUBSEP "module"], "%.0f"),
      pair(median[abi SUBSEP "ignoring"], mean[abi SUBSEP "ignoring"], "%.0f"),
      percent(share[abi], share_mean[abi]),
      pair(median[handling], mean[handling], "%.0f"),
      handling_share[abi] == "" ? "missing" : sprintf("%.1f%%", 100 * handling_share[abi])
  }
  exit missing
}
