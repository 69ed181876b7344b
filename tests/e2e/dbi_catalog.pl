#!/usr/bin/perl
# Perl DBI over DBD::ODBC: the catalog methods on the sample schema, every value read by column
# name from fetchrow_hashref, one line per method.
use strict;
use warnings;
use DBI;

my ($driver, $db) = @ARGV;
my $dbh = DBI->connect("dbi:ODBC:DRIVER={$driver};DSN=$db;UID=tvuser;PWD=secret", '', '',
                       {RaiseError => 1, PrintError => 0, AutoCommit => 1});

sub show {
    my ($label, $sth, @names) = @_;
    my @rows;
    while (my $r = $sth->fetchrow_hashref) {
        push @rows, join(':', map { defined $r->{$_} ? $r->{$_} : (exists $r->{$_} ? '<null>' : '<missing>') } @names);
    }
    print "$label ", join(',', @rows), "\n";
}

show('tables', $dbh->table_info(undef, undef, '%', 'TABLE,VIEW'),
     qw(TABLE_CAT TABLE_SCHEM TABLE_NAME TABLE_TYPE));
show('columns', $dbh->column_info(undef, undef, 'dept', '%'),
     qw(TABLE_NAME COLUMN_NAME DATA_TYPE TYPE_NAME COLUMN_SIZE DECIMAL_DIGITS NULLABLE ORDINAL_POSITION IS_NULLABLE));
show('primary', $dbh->primary_key_info(undef, undef, 'emp'), qw(TABLE_SCHEM TABLE_NAME COLUMN_NAME KEY_SEQ PK_NAME));
show('foreign', $dbh->foreign_key_info(undef, undef, 'dept', undef, undef, 'emp'),
     qw(PKTABLE_NAME PKCOLUMN_NAME FKTABLE_NAME FKCOLUMN_NAME KEY_SEQ UPDATE_RULE DELETE_RULE DEFERRABILITY));
show('statistics', $dbh->statistics_info(undef, undef, 'emp', 0, 1),
     qw(TABLE_NAME NON_UNIQUE INDEX_NAME TYPE ORDINAL_POSITION COLUMN_NAME ASC_OR_DESC));
# SQL_CATALOG_NAME: DBD::ODBC then leaves catalog names out of its calls.
print 'catalog_name ', $dbh->get_info(10003), "\n";
$dbh->disconnect;
print "done\n";
