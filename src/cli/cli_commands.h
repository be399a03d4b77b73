// The subcommands. Each takes its own argv (argv[0] is the subcommand's
// name), parses it, does its job and returns the exit status (cli.h).
#pragma once

int cmd_ports(int argc, char **argv);
int cmd_preview(int argc, char **argv);
int cmd_dump(int argc, char **argv);
int cmd_totap(int argc, char **argv);
int cmd_names(int argc, char **argv);
int cmd_extract(int argc, char **argv);
int cmd_rescue(int argc, char **argv);
int cmd_reboot(int argc, char **argv);
int cmd_update(int argc, char **argv);
