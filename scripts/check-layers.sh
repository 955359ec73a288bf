#!/usr/bin/env bash
# Fails when code includes from a layer above its own:
#   - a client folder includes a header of a folder ranked above it, or names
#     a type that a higher folder defines (a forward declaration, a pointer,
#     reference, template argument or scope: "class View;", "View *",
#     "std::shared_ptr<View>", "View::");
#   - p2p/ or av/ includes Qt, or p2p/ includes anything of the client.
# Ranks, lowest first (folders of one rank may include each other):
#   0 model config diagnostics   (orvane_model)
#   1 link                       (orvane_link)
#   2 media                      (orvane_media)
#   3 core                       (orvane_core) account service, device list and editing
#   4 widgets                    shared widgets
#   5 view                       the grid and its cells
#   6 devtree playback ptz admin account   side panels, pages, the account page
#   7 app                        the main window
#   (the login window, which hosts the main window, is in app)
# app/main.cpp is the executable's entry and may include anything.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A rank=(
  [model]=0 [config]=0 [diagnostics]=0
  [link]=1 [media]=2 [core]=3 [widgets]=4 [view]=5
  [devtree]=6 [playback]=6 [ptz]=6 [admin]=6
  [app]=7 [account]=6
)

failures=0
fail() {
  echo "check-layers: $*" >&2
  failures=$((failures + 1))
}

while IFS= read -r file; do
  rel=${file#client/}
  folder=${rel%%/*}
  [ -n "${rank[$folder]+x}" ] || continue
  [ "$rel" = "app/main.cpp" ] && continue
  own=${rank[$folder]}
  while IFS=: read -r line target; do
    dep=${target%%/*}
    [ -n "${rank[$dep]+x}" ] || continue
    if [ "${rank[$dep]}" -gt "$own" ]; then
      fail "$file:$line includes \"$target\": $folder (rank $own) may not include $dep (rank ${rank[$dep]})"
    fi
  done < <(grep -n -o -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z]+/[^"]+"' "$file" |
           sed -E 's/^([0-9]+):.*"([^"]+)"/\1:\2/')
done < <(find client -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

# The types each folder defines (class and struct definitions in its headers),
# at the lowest rank that defines the name, then every name of a higher
# rank that code of a lower folder uses as a type. Comments and string
# literals are skipped.
types=$(grep -rHE '^(class|struct) [A-Z][A-Za-z0-9_]*( final)?( *:.*| *\{.*)?$' client --include='*.h' |
        sed -E 's#^client/([a-z]+)/[^:]*:(class|struct) ([A-Za-z0-9_]+).*#\1 \3#' |
        while read -r folder name; do
          [ -n "${rank[$folder]+x}" ] && echo "${rank[$folder]} $name"
        done | sort -k2,2 -k1,1n | awk '!seen[$2]++')
while IFS= read -r hit; do
  fail "$hit"
done < <(find client -type f \( -name '*.cpp' -o -name '*.h' \) ! -path client/app/main.cpp | sort |
         while read -r file; do
           rel=${file#client/}
           folder=${rel%%/*}
           [ -n "${rank[$folder]+x}" ] || continue
           TYPES="$types" OWN=${rank[$folder]} perl -ne '
             BEGIN { for (split /\n/, $ENV{TYPES}) { my ($r, $n) = split; $t{$n} = $r if $r > $ENV{OWN} } }
             s{//.*}{}; s{"(?:\\.|[^"\\])*"}{""}g;
             while (/^\s*(?:class|struct)\s+([A-Z]\w*)\s*;|(?<![\w:.])([A-Z]\w*)\s*(?:\*|&|::)|<\s*([A-Z]\w*)\s*[>*,]/g) {
               my $n = $1 // $2 // $3;
               print "$ARGV:$.: names $n, a type of a higher layer (rank $t{$n})\n" if exists $t{$n};
             }' "$file" | sed "s#^#$folder (rank ${rank[$folder]}): #"
         done)

while IFS= read -r hit; do
  fail "$hit: p2p and av stay free of Qt"
done < <(grep -rn -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q[A-Za-z]*(/[^>]*)?>' p2p av \
           --include='*.cpp' --include='*.h' || true)

while IFS= read -r hit; do
  fail "$hit: p2p does not know the client or devsim"
done < <(grep -rn -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(model|config|diagnostics|link|media|core|widgets|view|devtree|playback|ptz|admin|app|account|av)/' \
           p2p --include='*.cpp' --include='*.h' || true)

if [ "$failures" -gt 0 ]; then
  echo "check-layers: $failures place(s) break the layers" >&2
  exit 1
fi
echo "check-layers: ok"
