# Turns detector_timing records (the native run's and the Windows run's,
# concatenated) into one table per input: each build's detector and each C
# runtime's strlen in µs per MiB, and its time as a multiple of the native
# detector's and of the native strlen's. -v native="x86_64 Linux" names the
# native machine; -v native_only=1 leaves out the rows of the Windows builds
# (where Wine cannot run). Exits 1 when a figure is missing.

# The value of key=value among the record's fields.
function value_of(key,    i) {
  for (i = 2; i <= NF; ++i)
    if (index($i, key "=") == 1) return substr($i, length(key) + 2)
  return ""
}

function cell(v) { return v == "" ? "missing" : v }

function row(label, input, build, engine,    us, key) {
  key = input SUBSEP build SUBSEP engine
  if (!(key in best)) {
    printf "| %s | missing | | |\n", label
    missing = 1
    return
  }
  us = best[key] * 1048576 / bytes[input]
  printf "| %s | %.1f | %s | %s |\n", label, us, ratio(us, base_detector), ratio(us, base_strlen)
}

function ratio(us, base) { return base > 0 ? sprintf("%.2f", us / base) : "missing" }

function per_mib(input, build, engine,    key) {
  key = input SUBSEP build SUBSEP engine
  return key in best ? best[key] * 1048576 / bytes[input] : 0
}

function built(build) {
  if (!(build in compiler)) {
    missing = 1
    return "build missing"
  }
  return compiler[build] ", SSE2 " sse2[build]
}

$1 == "build" {
  name = value_of("name")
  compiler[name] = value_of("compiler") " " value_of("config")
  sse2[name] = value_of("sse2")
}
$1 == "input" {
  name = value_of("name")
  if (!(name in title)) {
    order[++inputs] = name
    title[name] = substr($0, index($0, " title=") + 7)
    bytes[name] = value_of("bytes")
  }
}
$1 == "time" {
  key = value_of("input") SUBSEP value_of("build") SUBSEP value_of("engine")
  best[key] = value_of("best_us")
  runs[value_of("build")] = value_of("runs")
}

END {
  if (inputs == 0) {
    print "detector_tables: no input records" > "/dev/stderr"
    exit 1
  }
  if (native_only)
    print "Times are the best of " cell(runs["native"]) " runs; ratios are of times (2.00: twice as long)."
  else
    print "Times are the best of " cell(runs["native"]) " runs natively and " \
      cell(runs["windows-gnu"]) " under Wine; ratios are of times (2.00: twice as long)."
  for (i = 1; i <= inputs; ++i) {
    input = order[i]
    base_detector = per_mib(input, "native", "detector")
    base_strlen = per_mib(input, "native", "strlen")
    print ""
    printf "GUID detection over 1 MiB: %s\n\n", title[input]
    print "| | µs per MiB | × native detector | × native strlen |"
    print "|---|---|---|---|"
    row("detector, native " native " (" built("native") ")", input, "native", "detector")
    if (!native_only) {
      row("detector, Windows GNU ABI under Wine (" built("windows-gnu") ")", input,
          "windows-gnu", "detector")
      row("detector, Windows Microsoft ABI under Wine (" built("windows-msvc") ")", input,
          "windows-msvc", "detector")
    }
    row("strlen, native C library", input, "native", "strlen")
    if (!native_only) row("strlen, Wine's msvcrt.dll", input, "windows-gnu", "strlen")
  }
  exit missing
}
