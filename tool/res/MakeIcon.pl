#!/usr/bin/perl
# Draws the tool's icon, a hub with three ports on a blue tile, and writes it as a 32x32
# 32-bit .ico file: MakeIcon.pl output.ico
use strict;
use warnings;

my $size = 32;
my @pixels;    # rows top to bottom, BGRA

sub inside_rounded {
    my ($x, $y, $x0, $y0, $x1, $y1, $r) = @_;
    return 0 if $x < $x0 || $x > $x1 || $y < $y0 || $y > $y1;
    my $cx = $x < $x0 + $r ? $x0 + $r : ($x > $x1 - $r ? $x1 - $r : $x);
    my $cy = $y < $y0 + $r ? $y0 + $r : ($y > $y1 - $r ? $y1 - $r : $y);
    return (($x - $cx)**2 + ($y - $cy)**2) <= $r * $r;
}

for my $y (0 .. $size - 1) {
    for my $x (0 .. $size - 1) {
        my @p = (0, 0, 0, 0);
        if (inside_rounded($x, $y, 1, 1, 30, 30, 5)) {
            @p = (153, 73, 0, 255);    # tile, RGB (0, 73, 153)
        }
        # the hub body
        if (inside_rounded($x, $y, 8, 5, 23, 13, 2)) { @p = (240, 240, 240, 255); }
        # trunk and branch to three ports
        if (($x == 15 || $x == 16) && $y >= 14 && $y <= 18) { @p = (240, 240, 240, 255); }
        if ($y >= 18 && $y <= 19 && $x >= 6 && $x <= 25) { @p = (240, 240, 240, 255); }
        for my $px (6, 15, 24) {
            if ($x >= $px && $x <= $px + 1 && $y >= 18 && $y <= 21) { @p = (240, 240, 240, 255); }
            if ($x >= $px - 2 && $x <= $px + 3 && $y >= 22 && $y <= 26) { @p = (0, 140, 255, 255); }
        }
        $pixels[$y][$x] = [@p];
    }
}

my $xor = '';
for my $y (reverse 0 .. $size - 1) {    # bottom-up
    $xor .= pack('C4', @{ $pixels[$y][$_] }) for 0 .. $size - 1;
}
my $and = '';
for my $y (reverse 0 .. $size - 1) {
    my $bits = '';
    $bits .= ($pixels[$y][$_][3] ? '0' : '1') for 0 .. $size - 1;
    $and .= pack('B32', $bits);
}
my $dib = pack('VVVvvVVVVVV', 40, $size, $size * 2, 1, 32, 0, length($xor) + length($and), 0, 0, 0, 0)
    . $xor . $and;
my $ico = pack('vvv', 0, 1, 1) . pack('CCCCvvVV', $size, $size, 0, 0, 1, 32, length($dib), 22) . $dib;

open(my $out, '>:raw', $ARGV[0]) or die "cannot write $ARGV[0]: $!";
print $out $ico;
close($out);
