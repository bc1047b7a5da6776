# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Sourced by install_check.sh: a minimal Debian root built offline from this
# machine's own installed files, and an apt index of what this machine holds.
#
# The root holds what debootstrap's minbase variant installs: every Essential
# and every "required" package, apt, and what they depend on, each as dpkg
# knows it here (files, maintainer scripts, status). Nothing is downloaded.

native_arch=$(dpkg --print-architecture)

# installed_packages: one tab-separated line "name arch essential priority
# provides pre-depends,depends" for every installed package of the native
# architecture or "all".
installed_packages() {
    dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Architecture}\t${Essential}\t${Priority}\t${Provides}\t${Pre-Depends}, ${Depends}\n' |
        awk -F'\t' -v OFS='\t' -v arch="$native_arch" '$1 ~ /^ii/ && ($3 == arch || $3 == "all") {
            print $2, $3, $4, $5, $6, $7 }'
}

# base_packages: the minbase set, closed under Depends and Pre-Depends; of
# alternatives the first one installed here (or provided by one) is taken.
base_packages() {
    installed_packages | awk -F'\t' '
        function bare(dep) {
            sub(/\(.*/, "", dep); gsub(/[ \t]/, "", dep); sub(/:.*/, "", dep); return dep
        }
        function choose(clause,   alts, n, i, name) {
            n = split(clause, alts, "|")
            for (i = 1; i <= n; i++) {
                name = bare(alts[i])
                if (name in deps) return name
                if (name in provider) return provider[name]
            }
            return ""
        }
        {
            deps[$1] = $6
            n = split($5, provided, ",")
            for (i = 1; i <= n; i++) if (!(bare(provided[i]) in provider)) provider[bare(provided[i])] = $1
            if ($3 == "yes" || $4 == "required" || $1 == "apt") queue[++tail] = $1
        }
        END {
            for (head = 1; head <= tail; head++) {
                name = queue[head]
                if (name in seen) continue
                seen[name] = 1
                print name
                n = split(deps[name], clauses, ",")
                for (i = 1; i <= n; i++) {
                    chosen = choose(clauses[i])
                    if (chosen != "" && !(chosen in seen)) queue[++tail] = chosen
                }
            }
        }' | sort
}

# status_index: /var/lib/dpkg/status turned into a Packages index of every
# package installed here, for apt to resolve against. Its file names are
# placeholders: it serves simulations only.
status_index() {
    awk -v arch="$native_arch" '
        function flush() {
            if (installed && (a == arch || a == "all"))
                printf "%sFilename: pool/%s.deb\nSize: 1\n\n", text, name
            text = ""; installed = 0; a = ""; name = ""
        }
        /^$/ { flush(); next }
        /^[ \t]/ { if (keep) text = text $0 "\n"; next }
        {
            field = $0; sub(/:.*/, "", field)
            keep = field !~ /^(Status|Conffiles|Config-Version|Triggers-.*)$/
            if (field == "Status") installed = ($0 ~ / installed$/)
            if (field == "Architecture") a = $2
            if (field == "Package") name = $2
            if (keep) text = text $0 "\n"
        }
        END { flush() }' /var/lib/dpkg/status
}

# native_instances LIST: the dpkg names (libc6:amd64, adduser) of the installed
# instances of the packages named in the file LIST, of the native
# architecture or "all": with multiarch, libc6:arm64 may be installed too.
native_instances() {
    dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${binary:Package} ${Architecture}\n' |
        awk -v arch="$native_arch" 'NR == FNR { wanted[$1] = 1; next }
            $1 == "ii" && ($4 == arch || $4 == "all") && ($2 in wanted) { print $3 }' "$1" -
}

# copy_packages ROOT LIST: installs the packages named in the file LIST into
# ROOT as they are installed here: their files, maintainer scripts, status
# and diversions, as if dpkg had unpacked and configured them there.
copy_packages() {
    local root=$1 list=$2 pkg file db=$1/var/lib/dpkg
    native_instances "$list" >"$list.instances"
    while read -r pkg; do
        dpkg-query -L "$pkg" | grep '^/' || true
    done <"$list.instances" | sort -u | while read -r file; do
        # Files a package lists but this machine has trimmed (documentation in
        # slim images) are simply not there.
        [[ -e $file || -L $file ]] && printf '%s\n' "${file#/}"
    done >"$list.files"
    tar -C / --no-recursion -cf - -T "$list.files" | tar -C "$root" --keep-directory-symlink -xf -

    mkdir -p "$db/info"
    while read -r pkg; do
        for file in /var/lib/dpkg/info/"$pkg".*; do
            [[ -e $file ]] && cp -a "$file" "$db/info/"
        done
    done <"$list.instances"
    awk -v arch="$native_arch" 'NR == FNR { wanted[$1] = 1; next }
         function flush() { if ((name in wanted) && (a == arch || a == "all")) printf "%s\n", stanza }
         /^$/ { flush(); stanza = ""; name = ""; a = ""; next }
         /^Package: / { name = $2 } /^Architecture: / { a = $2 } { stanza = stanza $0 "\n" }
         END { if (stanza != "") flush() }' \
        "$list" /var/lib/dpkg/status >>"$db/status"
    awk 'NR == FNR { wanted[$1] = 1; next }
         { line[FNR % 3] = $0 } FNR % 3 == 0 && $0 in wanted {
             print line[1]; print line[2]; print $0 }' \
        "$list" /var/lib/dpkg/diversions >>"$db/diversions"
}

# make_base_root DIR: DIR becomes the minimal root; DIR.packages lists it.
make_base_root() {
    local root=$1 link db=$1/var/lib/dpkg
    mkdir -p "$root" "$db"/{info,updates,triggers,alternatives}
    for link in bin lib lib64 sbin; do
        if [[ -L /$link ]]; then # merged /usr: the targets must exist before tar follows the links
            mkdir -p "$root/$(readlink "/$link")"
            ln -s "$(readlink "/$link")" "$root/$link"
        fi
    done
    cp /var/lib/dpkg/info/format "$db/info/" # multi-arch names for the files in info/
    : >"$db/status"
    : >"$db/diversions"
    : >"$db/available"
    base_packages >"$root.packages"
    copy_packages "$root" "$root.packages"

    cp /var/lib/dpkg/statoverride "$db/" 2>/dev/null || : >"$db/statoverride"
    cp -a /var/lib/dpkg/alternatives/. "$db/alternatives/"
    mkdir -p "$root/etc/alternatives"
    cp -a /etc/alternatives/. "$root/etc/alternatives/"
    # What debootstrap leaves besides the packages' files.
    cp -a /etc/passwd /etc/group /etc/shadow /etc/gshadow "$root/etc/"
    mkdir -p "$root"/{proc,sys,dev,run,tmp,var/tmp,root,var/cache/apt/archives/partial} \
        "$root"/{var/lib/apt/lists/partial,var/log/apt,etc/apt/sources.list.d}
    chmod 1777 "$root/tmp" "$root/var/tmp"
    rm -f "$root"/etc/apt/sources.list "$root"/etc/apt/sources.list.d/*
}
