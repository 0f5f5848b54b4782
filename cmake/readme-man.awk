# README.md's reference of veltrane-host (the "## veltrane-host(1)" section),
# as a help2man include file: each **HEADING** paragraph from OUTPUT on becomes
# a man page section, in roff. NAME, SYNOPSIS, DESCRIPTION and OPTIONS are left
# out: help2man writes those from --help, so the page and --help cannot differ.
# EXAMPLES replaces help2man's own (the README's list is the longer one, and
# --help's exit status lines would otherwise sit under it).
#
# The Markdown taken is the README's: paragraphs, `code`, **bold**, tables,
# "- " lists with indented continuation lines, fenced blocks, HTML comments.
#
#   awk -f cmake/readme-man.awk README.md > veltrane-host.h2m

# Inline Markdown to roff; backslashes and dashes first, so that what follows
# is not escaped twice.
function inline(text,    out, code, start) {
  gsub(/\\/, "\\e", text)
  gsub(/-/, "\\-", text)
  # The README's typography, as roff names it, so that a terminal that is not
  # UTF-8 shows it too.
  gsub(/—/, "\\(em", text)
  gsub(/…/, "...", text)
  gsub(/×/, "\\(mu", text)
  gsub(/▸/, ">", text)
  # ``code with a ` in it`` before `code`.
  while (match(text, /`` [^`]* ``/)) {
    code = substr(text, RSTART + 3, RLENGTH - 6)
    text = substr(text, 1, RSTART - 1) "\\fB" code "\\fR" substr(text, RSTART + RLENGTH)
  }
  while (match(text, /`[^`]*`/)) {
    code = substr(text, RSTART + 1, RLENGTH - 2)
    text = substr(text, 1, RSTART - 1) "\\fB" code "\\fR" substr(text, RSTART + RLENGTH)
  }
  while (match(text, /\*\*[^*]+\*\*/)) {
    code = substr(text, RSTART + 2, RLENGTH - 4)
    text = substr(text, 1, RSTART - 1) "\\fB" code "\\fR" substr(text, RSTART + RLENGTH)
  }
  # A picture, which a terminal cannot show, is named with its file.
  while (match(text, /!\[[^]]*\]\([^)]*\)/)) {
    out = substr(text, RSTART + 2, RLENGTH - 3)
    start = index(out, "](")
    text = substr(text, 1, RSTART - 1) substr(out, 1, start - 1) ": " substr(out, start + 2) \
           " in the source tree" substr(text, RSTART + RLENGTH)
  }
  # A link keeps its text and its address.
  while (match(text, /\[[^]]*\]\([^)]*\)/)) {
    out = substr(text, RSTART + 1, RLENGTH - 2)
    start = index(out, "](")
    text = substr(text, 1, RSTART - 1) substr(out, 1, start - 1) " <" substr(out, start + 2) ">" \
           substr(text, RSTART + RLENGTH)
  }
  return safe(text)
}

# roff takes a line starting with a dot or a quote for a request, help2man one
# that is all [NAME] or /PATTERN/ for its own.
function safe(text) {
  if (text ~ /^[.'[\/]/) text = "\\&" text
  return text
}

function cell(text) {
  sub(/^[ \t]+/, "", text)
  sub(/[ \t]+$/, "", text)
  return inline(text)
}

BEGIN { inside = 0; taking = 0; fenced = 0; comment = 0; held = ""; para = ""; opener = "" }

# A paragraph or list item is gathered whole, so that a `code span` may run
# across lines; it goes out as one line after its opener (.PP, .IP ...).
function flush_para() {
  if (para == "") return
  print opener
  print inline(para)
  para = ""
}

function flush_row(    row, count, cells, body, i) {
  if (held == "") return
  row = held
  held = ""
  sub(/^\|/, "", row)
  sub(/\|$/, "", row)
  count = split(row, cells, /\|/)
  print ".TP"
  print cell(cells[1])
  body = ""
  for (i = 2; i <= count; i++) body = body (i > 2 ? "; " : "") cell(cells[i])
  print body
}

function flush() { flush_para(); flush_row() }

/^## / { flush(); inside = ($0 == "## veltrane-host(1)"); taking = 0; next }
!inside { next }

fenced {
  if ($0 ~ /^```/) { print ".fi"; print ".RE"; fenced = 0; next }
  line = $0
  gsub(/\\/, "\\e", line)
  gsub(/-/, "\\-", line)
  print safe(line)
  next
}

comment { if ($0 ~ /-->/) comment = 0; next }
/^<!--/ { if ($0 !~ /-->/) comment = 1; next }

# **HEADING** starts a section; the rest of its line starts its text.
/^\*\*[A-Z][A-Z ]*\*\*/ {
  flush()
  match($0, /^\*\*[A-Z][A-Z ]*\*\*/)
  name = substr($0, 3, RLENGTH - 4)
  rest = substr($0, RLENGTH + 1)
  taking = (name != "NAME" && name != "SYNOPSIS" && name != "DESCRIPTION" && name != "OPTIONS")
  if (!taking) next
  print (name == "EXAMPLES" ? "[=EXAMPLES]" : "[" name "]")
  sub(/^ *— */, "", rest)
  sub(/^ +/, "", rest)
  opener = ".PP"
  para = rest
  next
}

!taking { next }

/^```/ { flush(); print ".PP"; print ".RS 2"; print ".nf"; fenced = 1; next }

/^[ \t]*$/ { flush(); next }

# A table: a tagged paragraph per row, the first cell its tag. A row is held
# back one line: the one above the |---| rule is the heading, left out.
/^\|[-:| ]+\|$/ { held = ""; next }
/^\|/ { flush(); held = $0; next }

/^- / { flush(); opener = ".IP \\(bu 2"; para = substr($0, 3); next }
/^[0-9]+\. / {
  flush()
  match($0, /^[0-9]+\./)
  opener = ".IP " substr($0, 1, RLENGTH) " 4"
  para = substr($0, RLENGTH + 2)
  next
}

{
  flush_row()
  line = $0
  sub(/^ +/, "", line)
  if (para == "") { opener = ".PP"; para = line } else para = para " " line
}

END { flush() }
