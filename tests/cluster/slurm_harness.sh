# A one-node Slurm cluster on this machine, for the tests and the cluster
# benchmark.  Source it, then:
#
#   slurm_up DIR    writes a configuration into DIR (which must exist and be
#                   empty), starts munged, slurmctld and slurmd with every
#                   file they use inside DIR, and waits for the node to be
#                   idle.  Exports SLURM_CONF, so sbatch, squeue and the rest
#                   talk to this cluster.  Returns 1 with the reason in
#                   SLURM_DOWN_REASON when the cluster cannot start.
#   slurm_down      cancels every job of the cluster, waits for them, and
#                   stops the three daemons (also when slurm_up failed
#                   half-way).  Call it from an EXIT trap.
#
# SLURM_TASK_PLUGIN, when set, names the task plug-in (task/affinity binds
# each task to the CPUs it asked for, as clusters do; the default,
# task/none, leaves them free, which any container allows).
#
# Nothing here needs systemd: each daemon is started in the background by
# hand, with its own key, socket, pid and log files in DIR, and on ports
# that were free when the cluster started.

SLURM_DIR=""
SLURM_DOWN_REASON=""

# The log of a daemon, last lines, for a failure message.
slurm_log_tail() {
    local file=$1
    [ -f "$file" ] && tail -n 5 "$file" | sed 's/^/    /'
}

# A TCP port on 127.0.0.1 that nothing listens on, from a random start.
slurm_free_port() {
    local port=$((20000 + RANDOM % 30000)) tries
    for tries in $(seq 50); do
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null &&
            ! (exec 3<>"/dev/tcp/127.0.0.1/$((port + 1))") 2>/dev/null; then
            echo "$port"
            return 0
        fi
        port=$((20000 + RANDOM % 30000))
    done
    return 1
}

slurm_fail() {
    SLURM_DOWN_REASON=$1
    return 1
}

slurm_up() {
    SLURM_DIR=$1
    local cmd
    for cmd in munged slurmctld slurmd sbatch squeue sinfo scontrol scancel; do
        command -v "$cmd" >/dev/null ||
            slurm_fail "$cmd is not installed (packages slurm-wlm and munge; scripts/install-packages.sh)" ||
            return 1
    done
    # slurmd starts each job as its owner, which only root can do.
    [ "$(id -u)" = 0 ] || slurm_fail "the Slurm daemons need root (slurmd starts jobs as their user)" || return 1
    local host
    host=$(hostname -s 2>/dev/null || cat /proc/sys/kernel/hostname)
    [ -n "$host" ] || slurm_fail "this machine has no host name for the controller" || return 1
    local cpus
    cpus=$(nproc)
    mkdir -p "$SLURM_DIR"/{munge,socket,state,spool,run,log} || return 1
    chmod 700 "$SLURM_DIR/munge"
    chmod 755 "$SLURM_DIR" "$SLURM_DIR/socket"

    # munge: a key of our own; munged refuses to run as root unless forced.
    head -c 1024 /dev/urandom >"$SLURM_DIR/munge/munge.key"
    chmod 600 "$SLURM_DIR/munge/munge.key"
    munged --force --socket="$SLURM_DIR/socket/munge.socket" \
        --key-file="$SLURM_DIR/munge/munge.key" --pid-file="$SLURM_DIR/run/munged.pid" \
        --log-file="$SLURM_DIR/log/munged.log" --seed-file="$SLURM_DIR/munge/munged.seed" ||
        slurm_fail "munged did not start:
$(slurm_log_tail "$SLURM_DIR/log/munged.log")" || return 1

    local port
    port=$(slurm_free_port) || slurm_fail "no free port for slurmctld and slurmd" || return 1
    cat >"$SLURM_DIR/slurm.conf" <<EOF
ClusterName=quorvel
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$SLURM_DIR/socket/munge.socket
StateSaveLocation=$SLURM_DIR/state
SlurmdSpoolDir=$SLURM_DIR/spool
SlurmctldPidFile=$SLURM_DIR/run/slurmctld.pid
SlurmdPidFile=$SLURM_DIR/run/slurmd.pid
SlurmctldLogFile=$SLURM_DIR/log/slurmctld.log
SlurmdLogFile=$SLURM_DIR/log/slurmd.log
# No cgroups and no accounting: this is a container as often as a machine.
ProctrackType=proctrack/pgid
TaskPlugin=${SLURM_TASK_PLUGIN:-task/none}
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SwitchType=switch/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
SchedulerParameters=sched_interval=1,batch_sched_delay=0
ReturnToService=2
# Finished jobs stay visible a while, for the tests to ask about them.
MinJobAge=600
NodeName=quorvel-node NodeHostname=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=1000 State=UNKNOWN
PartitionName=quorvel Nodes=quorvel-node Default=YES MaxTime=INFINITE State=UP
EOF
    export SLURM_CONF=$SLURM_DIR/slurm.conf
    slurmctld -f "$SLURM_CONF" ||
        slurm_fail "slurmctld did not start:
$(slurm_log_tail "$SLURM_DIR/log/slurmctld.log")" || return 1
    slurmd -f "$SLURM_CONF" -N quorvel-node ||
        slurm_fail "slurmd did not start:
$(slurm_log_tail "$SLURM_DIR/log/slurmd.log")" || return 1

    local i state=""
    for i in $(seq 150); do
        state=$(sinfo -h -n quorvel-node -o %T 2>/dev/null)
        [ "$state" = idle ] && break
        sleep 0.2
    done
    [ "$state" = idle ] || slurm_fail "the node did not become idle within 30 s (state: ${state:-no answer}):
$(slurm_log_tail "$SLURM_DIR/log/slurmctld.log")
$(slurm_log_tail "$SLURM_DIR/log/slurmd.log")" || return 1
    # The controller's first scheduling pass comes a few seconds after it
    # starts; one small job waits for it, so that what runs next is timed
    # from a cluster at work.
    local first
    first=$(sbatch --parsable --output=/dev/null --wrap=true 2>"$SLURM_DIR/log/first-job.txt") ||
        slurm_fail "sbatch failed: $(cat "$SLURM_DIR/log/first-job.txt")" || return 1
    for i in $(seq 150); do
        [ -z "$(squeue -h -j "$first" -o %i 2>/dev/null)" ] && return 0
        sleep 0.2
    done
    slurm_fail "a first job did not run within 30 s:
$(slurm_log_tail "$SLURM_DIR/log/slurmctld.log")
$(slurm_log_tail "$SLURM_DIR/log/slurmd.log")"
}

# Signals the process whose id is in each pid file, then waits for all of
# them to go (killing what is left after 10 s).
slurm_stop_daemons() {
    local pids=() file pid i
    for file in "$@"; do
        [ -f "$file" ] || continue
        pid=$(cat "$file")
        [ -n "$pid" ] && kill "$pid" 2>/dev/null && pids+=("$pid")
    done
    for i in $(seq 100); do
        local alive=0
        for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
        [ "$alive" = 0 ] && return 0
        sleep 0.1
    done
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    return 0
}

slurm_down() {
    [ -n "$SLURM_DIR" ] || return 0
    local i
    if [ -f "$SLURM_DIR/run/slurmctld.pid" ] && [ -n "${SLURM_CONF:-}" ]; then
        scancel --quiet --partition=quorvel 2>/dev/null
        for i in $(seq 50); do
            [ -z "$(squeue -h -t running,completing -o %i 2>/dev/null)" ] && break
            sleep 0.2
        done
    fi
    slurm_stop_daemons "$SLURM_DIR/run/slurmd.pid" "$SLURM_DIR/run/slurmctld.pid" \
        "$SLURM_DIR/run/munged.pid"
    SLURM_DIR=""
}
