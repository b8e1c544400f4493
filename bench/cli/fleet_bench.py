#!/usr/bin/env python3
"""Fleet benchmark: checks 32 databases with quillon-cli compare --fleet, first one at a time
(--jobs 1), then eight at a time (--jobs 8), in the same run, and prints the speed-up.

Every database is served by a TDS test server process of its own (one Python process answers
one statement at a time, so a single server would serialize the fleet), all seeded from the
demo database under their own names; one gold-standard test service serves the gold standard.

Usage: fleet_bench.py BUILD_DIR [--targets 32] [--latency MS]
--latency adds that many milliseconds to every answer of both servers, standing in for the
network between the checking machine and real SQL Servers and the service (default 5, a round
trip across a site's network; 0 measures loopback, where the Python servers and this machine's
two cores, not the waiting, set the pace).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
SERVERS = os.path.join(ROOT, 'tests', 'servers')
DEMO = os.path.join(ROOT, 'demo')
LOGIN, PASSWORD = 'demo', 'demo-pass-2026'


def start(arguments):
    process = subprocess.Popen([sys.executable] + arguments, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, text=True)
    return process, int(process.stdout.readline())


def run_fleet(cli, fleet, jobs, service):
    started = time.monotonic()
    result = subprocess.run([cli, 'compare', '--fleet', fleet, '--jobs', str(jobs), 'Service=' + service],
                            capture_output=True, text=True,
                            env=dict(os.environ, QUILLON_PASSWORD=PASSWORD))
    elapsed = time.monotonic() - started
    if result.returncode != 1:
        sys.exit('fleet run with --jobs %d ended with exit code %d:\n%s%s'
                 % (jobs, result.returncode, result.stdout, result.stderr))
    anomalies = re.findall(r'^\S+\s+\d+\s+(\d+)\s+anomalies', result.stdout, re.M)
    return elapsed, anomalies


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('build')
    parser.add_argument('--targets', type=int, default=32)
    parser.add_argument('--latency', type=float, default=5)
    arguments = parser.parse_args()
    cli = os.path.join(os.path.abspath(arguments.build), 'src', 'quillon-cli')
    latency = ['--latency', str(arguments.latency)] if arguments.latency else []
    with open(os.path.join(DEMO, 'demo_database.xml'), encoding='utf-8') as source:
        catalogue = source.read()
    servers = []
    try:
        with tempfile.TemporaryDirectory() as work:
            gold, gold_port = start([os.path.join(SERVERS, 'gold_service.py'), '--fixture',
                                     os.path.join(DEMO, 'demo_gold.json')] + latency)
            servers.append(gold)
            lines = []
            for number in range(1, arguments.targets + 1):
                name = 'Shop%02d' % number
                fixture = os.path.join(work, name + '.xml')
                with open(fixture, 'w', encoding='utf-8') as target:
                    target.write(catalogue.replace('DatabaseName="Harbourline"', 'DatabaseName="%s"' % name))
                server, port = start([os.path.join(SERVERS, 'tds_server.py'), fixture] + latency)
                servers.append(server)
                lines.append('Name=%s Server=127.0.0.1,%d Database=%s User=%s' % (name, port, name, LOGIN))
            fleet = os.path.join(work, 'fleet.txt')
            with open(fleet, 'w', encoding='utf-8') as target:
                target.write('\n'.join(lines) + '\n')
            service = 'http://127.0.0.1:%d' % gold_port
            run_fleet(cli, fleet, 8, service)  # warms the caches; not measured
            serial, serial_anomalies = run_fleet(cli, fleet, 1, service)
            parallel, parallel_anomalies = run_fleet(cli, fleet, 8, service)
            if serial_anomalies != parallel_anomalies or len(serial_anomalies) != arguments.targets:
                sys.exit('the two runs disagree: %s vs %s' % (serial_anomalies, parallel_anomalies))
            print('targets: %d, latency per answer: %g ms, cores: %d'
                  % (arguments.targets, arguments.latency, os.cpu_count()))
            print('--jobs 1: %.2f s (%.0f ms per target)' % (serial, serial * 1000 / arguments.targets))
            print('--jobs 8: %.2f s' % parallel)
            print('speed-up: %.1fx' % (serial / parallel))
    finally:
        for server in servers:
            server.stdin.close()
            server.wait(10)


if __name__ == '__main__':
    main()
