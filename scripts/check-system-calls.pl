#!/usr/bin/perl
# The check behind the rule of app/system_call.h: every direct call into Windows in the
# given folders stands inside ROI_SYSTEM(...) or ROI_SYSTEM_KEEPING_FPU(...) (or their
# function forms, or the file layer's systemCall bracket built on them), so the x87
# working word is put right as the call returns. Windows' functions are the exports of
# the import libraries of the DLLs the program links, as the compiler finds them.
#
#   perl scripts/check-system-calls.pl NM CXX DIR...
#
# Names each call outside a bracket (file:line: name) and exits 1; exits 0 when none is.
use strict;
use warnings;

my ($nm, $cxx, @dirs) = @ARGV;
die "usage: check-system-calls.pl NM CXX DIR...\n" unless defined $cxx && @dirs;

my @dlls = qw(kernel32 user32 gdi32 comctl32 ole32 oleaut32 shell32);
my %bracket = map { $_ => 1 } qw(ROI_SYSTEM ROI_SYSTEM_KEEPING_FPU callSystem callSystemKeepingFpu systemCall);
# Calls that never return leave no word behind to load again.
my %exempt = map { $_ => 1 } qw(ExitProcess);

my @libraries;
for my $dll (@dlls) {
    chomp(my $library = `$cxx -print-file-name=lib$dll.a`);
    die "no import library for $dll\n" unless -f $library;
    push @libraries, $library;
}
my %system;
for (`$nm -g @libraries 2>/dev/null`) {
    # x86_64: __imp_Name; i686: __imp__Name@bytes
    $system{$1} = 1 if /\s__imp__?([A-Za-z]\w*?)(?:@\d+)?$/;
}
die "no Windows functions found\n" if keys %system < 1000;

my @files;
for my $dir (@dirs) {
    push @files, sort split /\n/, `find '$dir' -type f \\( -name '*.cpp' -o -name '*.h' \\)`;
}

# The text with comments, string and character literals and preprocessor lines
# blanked out, line breaks kept.
sub code_only {
    my ($text) = @_;
    $text =~ s{
        ( //[^\n]* | /\*.*?\*/ | L?"(?:\\.|[^"\\\n])*" | L?'(?:\\.|[^'\\\n])*' | ^[ \t]*\#[^\n]* )
    }{ my $m = $1; $m =~ s/[^\n]/ /g; $m }gemsx;
    return $text;
}

my $outside = 0;
for my $file (@files) {
    open my $in, '<', $file or die "$file: $!\n";
    my $code = code_only(do { local $/; <$in> });
    close $in;
    my @open;          # for each open parenthesis, the name just before it, or ''
    my $inside = 0;    # how many of them belong to a bracket
    my $line = 1;
    my $previous = '';
    while ($code =~ /\G(?:(\n)|([A-Za-z_]\w*)|(\()|(\))|([ \t\r]+)|(.))/gcs) {
        if (defined $1) {
            ++$line;
        } elsif (defined $2) {
            my $name = $2;
            if ($system{$name} && !$exempt{$name} && !$inside && $code =~ /\G(?=\s*\()/gc) {
                print "$file:$line: $name outside ROI_SYSTEM\n";
                ++$outside;
            }
            $previous = $name;
            next;
        } elsif (defined $3) {
            push @open, $previous;
            ++$inside if $bracket{$previous};
        } elsif (defined $4) {
            my $closed = pop @open // '';
            --$inside if $bracket{$closed};
        } elsif (defined $5) {
            next;  # white space keeps the name before it
        }
        $previous = '';
    }
}

if ($outside > 0) {
    print "system calls: $outside direct calls into Windows outside ROI_SYSTEM (app/system_call.h)\n";
    exit 1;
}
print "system calls: every direct call into Windows in ", scalar(@files), " files is in a bracket\n";
exit 0;
