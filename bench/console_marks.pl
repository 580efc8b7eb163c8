#!/usr/bin/perl
# console_marks.pl MARKS < console output
# Reads what a veltra-console prints, as it prints it, and writes to MARKS at once (unbuffered)
# each line that is not about one file, with the wall-clock time it was read: "SECONDS line TEXT".
# Of the lines about one file only the first start is written ("SECONDS start TEXT"); the others
# are counted, and the counts come last ("SECONDS end starts=N done=N failed=N progress=N").
# It must never hold the console up (a console whose standard output lags drops lines, and says
# so with a line of its own): it widens its pipe to 1 MiB, reads whatever has arrived in one
# call and reads the clock once per call.
use strict;
use warnings;
use Time::HiRes qw(time);

die "usage: console_marks.pl MARKS\n" unless @ARGV == 1;
open(my $marks, '>', $ARGV[0]) or die "$ARGV[0]: $!\n";
$marks->autoflush(1);
my $F_SETPIPE_SZ = 1031;  # Linux; on a file or a terminal it fails, which does no harm
fcntl(STDIN, $F_SETPIPE_SZ, 1 << 20);

my ($starts, $done, $failed, $progress) = (0, 0, 0, 0);
my $pending = '';
my $got;
while (($got = sysread(STDIN, my $block, 1 << 20)) || (!defined $got && $!{EINTR})) {
    next unless $got;
    my $now = time;
    $pending .= $block;
    my $last = rindex($pending, "\n");
    next if $last < 0;
    for my $line (split /\n/, substr($pending, 0, $last + 1, '')) {
        if ($line =~ /^\d+\.\d\d[BKMG]\/S \d+\.\d\d%$/) {
            ++$progress;
        } elsif ($line =~ /^开始接收文件/) {
            printf $marks "%.6f start %s\n", $now, $line if $starts++ == 0;
        } elsif ($line eq "文件传输完毕") {
            ++$done;
        } else {
            ++$failed if $line =~ /^文件接收失败/;
            printf $marks "%.6f line %s\n", $now, $line;
        }
    }
}
printf $marks "%.6f line %s\n", time, $pending if length $pending;
printf $marks "%.6f end starts=%d done=%d failed=%d progress=%d\n", time, $starts, $done, $failed,
    $progress;
