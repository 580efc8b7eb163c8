#!/usr/bin/perl
# console_marks.pl MARKS < console output
# Reads what a veltra-console prints, as it prints it, and writes to MARKS at once (unbuffered)
# each line that is not about one file, with the wall-clock time it was read: "SECONDS line TEXT".
# Of the lines about one file only the first start is written ("SECONDS start TEXT"); the others
# are counted, and the counts come last ("SECONDS end starts=N done=N failed=N progress=N").
# It reads in large blocks and writes little, so it never holds the console up: a console whose
# standard output lags drops lines, and would say so (a line of its own, then in MARKS).
use strict;
use warnings;
use Time::HiRes qw(time);

die "usage: console_marks.pl MARKS\n" unless @ARGV == 1;
open(my $marks, '>', $ARGV[0]) or die "$ARGV[0]: $!\n";
$marks->autoflush(1);
my ($starts, $done, $failed, $progress) = (0, 0, 0, 0);
while (my $line = <STDIN>) {
    if ($line =~ /^\d+\.\d\d[BKMG]\/S \d+\.\d\d%$/) {
        ++$progress;
    } elsif ($line =~ /^开始接收文件/) {
        printf $marks "%.6f start %s", time, $line if $starts++ == 0;
    } elsif ($line eq "文件传输完毕\n") {
        ++$done;
    } else {
        ++$failed if $line =~ /^文件接收失败/;
        printf $marks "%.6f line %s", time, $line;
    }
}
printf $marks "%.6f end starts=%d done=%d failed=%d progress=%d\n", time, $starts, $done, $failed,
    $progress;
