#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Mail and a web hook from the real headless program, through a real mail
# server (Postfix: STARTTLS with a certificate of the test's own, SASL login,
# delivery to a maildir) and an HTTP receiver, both behind the uplink of the
# simulated site (tests/system/site_lib.sh), so that nothing reaches them
# while the line is down:
#
#   outage:    the uplink hangs, a telnet restart cures it; within 60 s of the
#              line back the mailbox holds one "site down" and one "site back"
#              mail, in that order, with times, cause and steps, and the
#              receiver the same two events.
#   killed:    pingvard is SIGKILLed during the outage and started again:
#              still exactly one of each.
#   refused:   a wrong mail password and a wrong token: one line for each
#              channel, every message stays queued; with both put right they
#              arrive, still one of each.
#   hanging:   a server that takes the connection and never answers: SIGTERM
#              still ends the program at once, the message stays queued.
#
#   notify_e2e.sh PINGVARD PINGVARD_APSIM
set -euo pipefail

pingvard=${1:?usage: notify_e2e.sh PINGVARD PINGVARD_APSIM}
apsim=${2:?usage: notify_e2e.sh PINGVARD PINGVARD_APSIM}
if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: needs root: creates network namespaces and veth pairs"
    exit 77
fi
for tool in ip postfix saslpasswd2 openssl python3 sqlite3 jq; do
    command -v "$tool" >/dev/null || { echo "SKIP: needs '$tool' (scripts/deps.sh installs it)"; exit 77; }
done

readonly net=10.214.0 interval=200 timeout=300 max_timeouts=3
readonly server=$net.20
# shellcheck source=tests/system/site_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/site_lib.sh"
work=$(mktemp -d /tmp/pingvard-notify.XXXXXX)
chmod 755 "$work"
pids=()
# Postfix's master and its daemons first: they are no child of the test.
trap 'status=$?; ip netns exec "$inet" postfix -c "$work/postfix" abort >/dev/null 2>&1
(exit $status); site_exit "$work"/*/console.out "$work"/*/console.err "$work/maillog"' EXIT
trap 'exit 130' INT TERM
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

site_make "$net"
ip -n "$inet" addr add "$server/24" dev "U$site_id"

# The mail server: a Postfix of the test's own (its configuration, queue and
# log in $work), STARTTLS with a certificate for its address, SASL login
# site7 / right-pass, admin@example.org delivered to a maildir.
pf=$work/postfix
mkdir -p "$pf/sasl" "$work/spool" "$work/data" "$work/mail"
chown postfix "$work/data"
chown nobody "$work/mail"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$server" \
    -addext "subjectAltName=IP:$server" -keyout "$work/key.pem" -out "$work/ca.pem" 2>/dev/null
cp /usr/share/postfix/master.cf.dist "$pf/master.cf"
cat >"$pf/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $work/spool
data_directory = $work/data
maillog_file = /dev/stdout
inet_interfaces = $server
inet_protocols = ipv4
myhostname = mail.example.org
mydestination =
mynetworks =
alias_maps =
alias_database =
virtual_mailbox_domains = example.org
virtual_mailbox_base = $work/mail
virtual_mailbox_maps = texthash:$work/vmailbox
virtual_uid_maps = static:65534
virtual_gid_maps = static:65534
smtpd_sasl_auth_enable = yes
smtpd_sasl_local_domain = example.org
smtpd_relay_restrictions = permit_sasl_authenticated, reject
smtpd_recipient_restrictions = permit_sasl_authenticated, reject
smtpd_tls_cert_file = $work/ca.pem
smtpd_tls_key_file = $work/key.pem
smtpd_tls_security_level = may
smtpd_tls_auth_only = yes
CONF
postconf -c "$pf" -X -M smtp/inet
postconf -c "$pf" -M "2525/inet=2525 inet n - n - - smtpd"
postconf -c "$pf" -F '*/*/chroot = n'
echo "admin@example.org example.org/admin/" >"$work/vmailbox"
printf 'pwcheck_method: auxprop\nauxprop_plugin: sasldb\nmech_list: PLAIN LOGIN\nsasldb_path: %s\n' \
    "$work/sasldb2" >"$pf/sasl/smtpd.conf"
printf right-pass | saslpasswd2 -c -p -f "$work/sasldb2" -u example.org site7
chown postfix "$work/sasldb2"
ip netns exec "$inet" postfix -c "$pf" start-fg >"$work/maillog" 2>&1 &
pids+=($!)
(umask 077 && printf 'right-pass\n' >"$work/mail.secret" && printf 'wrong-pass-7\n' >"$work/wrong.secret")
receiver=$(dirname "${BASH_SOURCE[0]}")/notify_receiver.py
ip netns exec "$inet" python3 "$receiver" "$server" 8080 right "$work/received" &
pids+=($!)
ip netns exec "$ap" "$apsim" --listen 192.168.168.1 --port 23 --record "$work/apsim.record" \
    --on-reset "$(site_restart_command)" >"$work/apsim.out" 2>&1 &
pids+=($!)
wait_for 20 "the servers listening" bash -c \
    "ip netns exec '$inet' ss -Hltn | grep -q ':2525 ' && ip netns exec '$inet' ss -Hltn | grep -q ':8080 '"

write_ini() { # dir token action [password file]
    local dir=$1 slot
    local entries=("Constants/MaxTimeouts=$max_timeouts" "Constants/PingInterval=$interval"
        ResetHost/Hostname=192.168.168.1 Guard/HoldOff=0 Guard/MaxRounds=0)
    for slot in 1 2 3; do
        entries+=("Host$slot/DisplayName=inet-$slot" "Host$slot/Hostname=$net.1$slot"
            "Host$slot/Timeout=$timeout" "Host$slot/TimeoutDoReset=1")
    done
    entries+=(Host4/DisplayName=AP Host4/Hostname=192.168.168.1 "Host4/Timeout=$timeout"
        Host4/TimeoutDoReset=0 "Notify/Channels=mail,phone"
        Notify.mail/Kind=email "Notify.mail/Server=smtp://$server:2525" Notify.mail/StartTls=1
        "Notify.mail/CaFile=$work/ca.pem" Notify.mail/User=site7
        "Notify.mail/PasswordFile=${4:-$work/mail.secret}"
        Notify.mail/From=pingvard@site.example.org Notify.mail/To=admin@example.org
        Notify.phone/Kind=webhook Notify.phone/Preset=json "Notify.phone/Url=http://$server:8080/hook"
        "Notify.phone/Token=$2")
    [[ $3 == telnet ]] || entries+=(Recovery/Actions=note Action.note/Kind=program
        Action.note/Program=/bin/true Action.note/Verify=60)
    pv_write_ini "$dir/pingvard.ini" "${entries[@]}"
}
start_pingvard() { # dir
    ip netns exec "$site" "$pingvard" --headless -C "$1" >>"$1/console.out" 2>>"$1/console.err" &
    pingvard_pid=$!
    pids+=("$pingvard_pid")
}
stop_pingvard() {
    kill -TERM "$pingvard_pid"
    wait "$pingvard_pid" || fail "pingvard ended with status $?"
}
readonly maildir=$work/mail/example.org/admin/new
# In the order the server accepted them: its deliveries may run side by side,
# so neither the maildir's names nor their times say it.
mails() {
    local file id
    for file in "$maildir"/*; do
        [[ -f $file ]] || continue
        id=$(sed -n 's/.* with ESMTPS*A* id \([0-9A-F]*\)$/\1/p' "$file" | head -n 1)
        echo "$(grep -n "/cleanup\[[0-9]*\]: $id: message-id=" "$work/maillog" | cut -d: -f1) $file"
    done | sort -n | cut -d' ' -f2-
}
mail_count() { mails | wc -l; }
received() { [[ -f $work/received ]] && wc -l <"$work/received" || echo 0; }
queued() { sqlite3 "$1/outbox.db" "SELECT COUNT(*) FROM queued" 2>/dev/null || echo 0; }
reset_boxes() {
    rm -f "$work/received"
    find "$maildir" -type f -delete 2>/dev/null || true
}

# check_delivered DIR ACTION CURE: one site-down then one site-back, in both
# places; the step of ACTION among the steps, CURE the action that cured it
# (empty: not cured).
check_delivered() {
    local dir=$1 action=$2 cure=$3 first second
    [[ $(mail_count) == 2 ]] || fail "not two mails: $(mails)"
    first=$(mails | head -n 1) second=$(mails | tail -n 1)
    grep -q '^X-Pingvard-Event: site-down' "$first" || fail "the first mail is not the site down"
    grep -q '^X-Pingvard-Event: site-back' "$second" || fail "the second mail is not the site back"
    grep -q '^Subject: .*: Site down (uplink)' "$first" || fail "site down subject: $(cat "$first")"
    grep -q '^Message-ID: <site-down\.[0-9]*\.mail@site.example.org>' "$first" ||
        fail "site down Message-ID: $(cat "$first")"
    grep -q '^Cause: uplink' "$first" || fail "the site down does not say the cause"
    grep -q "^Subject: .*: Site back after [0-9]* s (${cure:+cured by }${cure:-not cured})" "$second" ||
        fail "site back subject: $(cat "$second")"
    grep -q "^Cured by: ${cure:-nothing (not cured)}" "$second" ||
        fail "site back cure: $(cat "$second")"
    grep -q "^- [0-9:-]* [0-9:]* $action.*: " "$second" || fail "site back steps: $(cat "$second")"
    grep -q '^Downtime: [0-9]* s' "$second" || fail "site back downtime: $(cat "$second")"
    local down_at back_at
    down_at=$(sed -n 's/^Down since: //p' "$second")
    back_at=$(sed -n 's/^Back at: //p' "$second")
    [[ -n $down_at && -n $back_at && ! $back_at < $down_at ]] || fail "times: $down_at, $back_at"
    [[ $(received) == 2 ]] || fail "the receiver did not take two: $(cat "$work/received")"
    [[ $(sed -n 1p "$work/received" | jq -r .body.event) == site-down &&
        $(sed -n 2p "$work/received" | jq -r .body.event) == site-back ]] ||
        fail "the receiver's order: $(cat "$work/received")"
    [[ $(sed -n 2p "$work/received" | jq -r .body.cured_by) == "$cure" &&
        $(sed -n 1p "$work/received" | jq -r .body.cause) == uplink ]] ||
        fail "the receiver's facts: $(cat "$work/received")"
    [[ $(queued "$dir") == 0 ]] || fail "messages left in the outbox"
}

run_outage() {
    local dir=$work/outage
    mkdir "$dir"
    write_ini "$dir" right telnet
    start_pingvard "$dir"
    wait_for 10 "the site up" grep -q ' site up, 4 of 4 hosts answer$' "$dir/console.out"
    site_cut_uplink
    wait_for 15 "the site down" grep -q ' site down since ' "$dir/console.out"
    wait_for 15 "the line back" site_uplink_up
    wait_for 60 "two mails and two posts" bash -c \
        "[[ \$(find '$maildir' -type f | wc -l) == 2 && -f '$work/received' && \$(wc -l <'$work/received') == 2 ]]"
    sleep 2 # nothing more arrives
    stop_pingvard
    check_delivered "$dir" telnet telnet
    echo "outage run: passed"
}

run_killed() {
    local dir=$work/killed
    mkdir "$dir"
    reset_boxes
    # An action that cures nothing: the outage lasts until the test ends it.
    write_ini "$dir" right note
    start_pingvard "$dir"
    wait_for 10 "the site up" grep -q ' site up, 4 of 4 hosts answer$' "$dir/console.out"
    site_cut_uplink
    wait_for 15 "both messages queued" bash -c "[[ \$(sqlite3 '$dir/outbox.db' 'SELECT COUNT(*) FROM queued' 2>/dev/null) == 2 ]]"
    kill -KILL "$pingvard_pid"
    wait "$pingvard_pid" 2>/dev/null || true
    start_pingvard "$dir"
    sleep 3
    site_restore_uplink
    wait_for 60 "two mails and two posts" bash -c \
        "[[ \$(find '$maildir' -type f | wc -l) == 2 && -f '$work/received' && \$(wc -l <'$work/received') == 2 ]]"
    sleep 3
    stop_pingvard
    # The line came back while the action's verify time ran: that step cured it.
    check_delivered "$dir" note note
    echo "killed run: passed"
}

run_refused() {
    local dir=$work/refused
    mkdir "$dir"
    reset_boxes
    write_ini "$dir" bad-token-7 telnet "$work/wrong.secret"
    start_pingvard "$dir"
    wait_for 10 "the site up" grep -q ' site up, 4 of 4 hosts answer$' "$dir/console.out"
    site_cut_uplink
    wait_for 15 "the site down" grep -q ' site down since ' "$dir/console.out"
    wait_for 15 "the line back" site_uplink_up
    wait_for 30 "the token's refusal said" \
        grep -q '^pingvard: \[Notify.phone\]: not delivered: HTTP 401: wrong token; ' "$dir/console.err"
    wait_for 30 "the password's refusal said" grep -q "^pingvard: \[Notify.mail\]: not delivered: \
login refused by $server:2525: 535 5.7.8 Error: authentication failed" "$dir/console.err"
    wait_for 30 "both messages queued for each channel" bash -c \
        "[[ \$(sqlite3 '$dir/outbox.db' 'SELECT COUNT(*) FROM queued') == 4 ]]"
    sleep 5 # more tries, each refused
    stop_pingvard
    local channel
    for channel in phone mail; do
        [[ $(grep -c "Notify.$channel\]: not delivered" "$dir/console.err") == 1 ]] ||
            fail "the refusal of $channel not said once: $(grep Notify "$dir/console.err")"
    done
    ! grep -qs 'bad-token-7\|wrong-pass-7' "$dir"/console.* "$dir/pingvard.log" ||
        fail "a line holds the token or the password"
    [[ $(received) == 0 && $(mail_count) == 0 ]] || fail "a server took a message it should refuse"
    [[ $(queued "$dir") == 4 ]] || fail "the refused messages are not all queued"
    sed -i "s/^Token=bad-token-7\$/Token=right/; s|^PasswordFile=.*|PasswordFile=$work/mail.secret|" \
        "$dir/pingvard.ini"
    start_pingvard "$dir"
    wait_for 30 "the queued messages delivered" bash -c \
        "[[ \$(find '$maildir' -type f | wc -l) == 2 && -f '$work/received' && \$(wc -l <'$work/received') == 2 ]]"
    stop_pingvard
    check_delivered "$dir" telnet telnet
    echo "refused run: passed"
}

# The channel's own test: the server's answer; a certificate nobody vouches
# for is refused.
run_test_notify() {
    local dir=$work/test-notify
    mkdir "$dir"
    write_ini "$dir" right telnet
    ip netns exec "$site" "$pingvard" -C "$dir" --test-notify mail >"$dir/out" 2>&1 ||
        fail "--test-notify mail: $(cat "$dir/out")"
    grep -q '^Accepted: 250 2.0.0 Ok: queued as ' "$dir/out" || fail "--test-notify: $(cat "$dir/out")"
    wait_for 10 "the test mail" bash -c "[[ \$(find '$maildir' -type f | wc -l) == 1 ]]"
    grep -q '^Subject: .*: test message' "$(mails)" || fail "the test mail: $(cat "$(mails)")"
    sed -i '/^CaFile=/d' "$dir/pingvard.ini"
    local status=0
    ip netns exec "$site" "$pingvard" -C "$dir" --test-notify mail >"$dir/out" 2>&1 || status=$?
    ((status == 1)) && grep -q "^Not delivered: certificate of $server:2525 not trusted" "$dir/out" ||
        fail "an unknown certificate: status $status, $(cat "$dir/out")"
    [[ ! -e $dir/outbox.db ]] || fail "--test-notify wrote an outbox"
    reset_boxes
    echo "test-notify run: passed"
}

run_hanging() {
    local dir=$work/hanging
    mkdir "$dir"
    ip netns exec "$inet" python3 -c 'import socket, sys, time
s = socket.create_server((sys.argv[1], 8081))
held = [s.accept() for _ in range(100)]
time.sleep(600)' "$server" &
    pids+=($!)
    wait_for 10 "the hanging server" bash -c "ip netns exec '$inet' ss -Hltn | grep -q ':8081 '"
    write_ini "$dir" right telnet
    sed -i "s|^Url=http://$server:8080/hook\$|Url=http://$server:8081/hook|; s|^Channels=mail,phone\$|Channels=phone|" \
        "$dir/pingvard.ini"
    start_pingvard "$dir"
    wait_for 10 "the site up" grep -q ' site up, 4 of 4 hosts answer$' "$dir/console.out"
    site_cut_uplink
    wait_for 15 "the site down" grep -q ' site down since ' "$dir/console.out"
    wait_for 15 "the line back" site_uplink_up
    wait_for 15 "a send under way" bash -c \
        "ip netns exec '$site' ss -Htn state established 'dport = :8081' | grep -q ."
    local started=$SECONDS
    stop_pingvard
    ((SECONDS - started <= 3)) || fail "SIGTERM took $((SECONDS - started)) s with a server that hangs"
    [[ $(queued "$dir") -ge 1 ]] || fail "the message in flight was not kept"
    echo "hanging run: passed"
}

run_test_notify
run_outage
run_killed
run_refused
run_hanging
echo "PASS"
