# long_options TOOL [SUBCOMMAND]: the long options TOOL's --help lists, one a
# line (CLI11 writes each as "  [-x,]--name ..."). Sourced by the checks here.
long_options() {
  "$@" --help | sed -n 's/^  \(-[a-zA-Z],\)\{0,1\}\(--[a-z][a-z0-9-]*\).*/\2/p'
}
