#!/usr/bin/perl
# The Linux side of the Wine tree tests: what a Windows program under Wine
# cannot do itself (make unix links, race the pass as a native process that
# ignores share modes).  Each command ends by creating its DONE file, which
# the Windows side waits for: a process started from Wine gives no handle.
#
#   native_links.pl link TARGET LINK DONE
#   native_links.pl swap CANARY ROOT DONE
#       waits until a file below ROOT is gone (the pass has started), then
#       renames every directory below ROOT aside and puts a unix link to
#       CANARY in its place, deepest first, one a millisecond; DONE holds the
#       number of swaps made
#   native_links.pl remove PATH DONE     rm -rf, never following a link
#   native_links.pl deep DIR LENGTH DONE
#       a chain of directories below DIR, made through relative paths, until
#       the unix path is LENGTH bytes long, with a file at its bottom
use strict;
use warnings;
use File::Find;
use Time::HiRes qw(usleep time);

my ($command, @args) = @ARGV;
my $done = $args[-1];

sub finish {
  my ($text) = @_;
  open(my $out, '>', "$done.tmp") or die "$done: $!";
  print $out "$text\n";
  close($out);
  rename("$done.tmp", $done) or die "$done: $!";
  exit 0;
}

if ($command eq 'link') {
  symlink($args[0], $args[1]) or finish("failed: $!");
  finish('linked');
} elsif ($command eq 'remove') {
  system('rm', '-rf', '--', $args[0]);
  finish('removed');
} elsif ($command eq 'deep') {
  my ($dir, $length) = @args;
  chdir($dir) or finish("failed: $!");
  for (my $path = $dir; length($path) < $length; $path .= '/level_past_the_limit') {
    mkdir('level_past_the_limit') && chdir('level_past_the_limit') or finish("failed: $!");
  }
  open(my $file, '>', 'f.dat') or finish("failed: $!");
  close($file);
  finish('deep');
} elsif ($command eq 'swap') {
  my ($canary, $root) = @args;
  my (@files, @dirs);
  find({no_chdir => 1, wanted => sub {
    return if $_ eq $root;
    if (-l $_) { return }
    push(@dirs, $_) if -d _;
    push(@files, $_) if -f _;
  }}, $root);
  my $deadline = time() + 30;
  WAIT: while (time() < $deadline) {
    for my $file (@files) { last WAIT unless -e $file }
    usleep(500);
  }
  my $swaps = 0;
  for my $dir (sort { length($b) <=> length($a) } @dirs) {
    next unless rename($dir, "$dir.moved");
    symlink($canary, $dir) and $swaps++;
    usleep(1000);
  }
  finish("swapped $swaps");
}
die "unknown command $command";
