%code top {
// Grammar of the SQL analyser: SELECT, UPDATE, DELETE and INSERT become parse trees, every
// other statement passes through whole. Generated code: its own warnings are silenced here.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wold-style-cast"
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wuseless-cast"
#endif
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
}

%code requires {
#include "scrs/scr_parse.h"
#include "scrs/scr_node.h"
}

%code {
#include <cstring>

int scsql_lex(SCSQL_STYPE* lval, void* scanner);
static void scsql_error(ScsqlCtx* ctx, void* scanner, const char* msg);

namespace {

// Templates are written with "$n" for child n and compiled to the 0xFF 0x01 n form.
SCR_Node* Mk(ScsqlCtx* ctx, uint32_t kind, const char* tpl, uint32_t n, SCR_Node* a = nullptr,
             SCR_Node* b = nullptr, SCR_Node* c = nullptr, SCR_Node* d = nullptr, SCR_Node* e = nullptr,
             SCR_Node* f = nullptr) {
  char buf[128];
  size_t w = 0;
  for (const char* p = tpl; *p != '\0' && w + 4 < sizeof buf; ++p) {
    if (p[0] == '$' && p[1] >= '1' && p[1] <= '9') {
      buf[w++] = char(0xFF);
      buf[w++] = char(0x01);
      buf[w++] = char(p[1] - '0');
      ++p;
    } else {
      buf[w++] = *p;
    }
  }
  buf[w] = '\0';
  SCR_Node* node = SCR_NodeCreate(kind, buf, n, a, b, c, d, e, f);
  if (node == nullptr) ctx->failed = true;
  return node;
}

// A right-hand side that is a subquery alone stands in the comparison as the subquery itself.
SCR_Node* UnwrapSubquery(SCR_Node* e) {
  SCR_Node* n = e;
  static const uint32_t kChain[] = {23, 91, 24, 60};
  for (uint32_t k : kChain) {
    if (n == nullptr || n->kind != k || n->childCount != 1 || n->tpl == nullptr ||
        std::strcmp(n->tpl, "\xFF\x01\x01") != 0)
      return e;
    n = n->child;
  }
  if (n == nullptr || n->kind != 85) return e;
  // Detach the subquery and free the wrappers above it.
  SCR_Node* p = e;
  while (p->child != n) p = p->child;
  p->child = nullptr;
  p->childCount = 0;
  SCR_NodeFreeOne(&e);
  return n;
}

SCR_Node* Lf(ScsqlCtx* ctx, uint32_t kind, const char* text) {
  SCR_Node* node = text != nullptr ? SCR_NodeLeaf(kind, text) : nullptr;
  if (node == nullptr) ctx->failed = true;
  return node;
}

}  // namespace

#define N(...) Mk(ctx, __VA_ARGS__)
#define L(k, t) Lf(ctx, (k), (t))
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
}

%define api.pure full
%define api.prefix {scsql_}
%define api.token.prefix {TK_}
%define parse.error simple
%parse-param {ScsqlCtx* ctx} {void* scanner}
%lex-param {void* scanner}

%union {
  const char* text;
  SCR_Node* node;
}

%destructor { SCR_NodeFreeOne(&$$); } <node>

%token <text> IDENT 258 STRING 259 INTEGER 260 DECIMAL 261 EXPNUM 262 COMPARISON 263
%token <text> AGGNAME 264 ESCLIT 265 DATELIT 266 TIMELIT 267 TSLIT 268 HEXLIT 269 OUTEROP 270
%token CONCAT 271 OR 272 AND 273 NOT 274 UNUSED_275 275 ALL 276 ANY 277 AS 278 ASC 279
%token BETWEEN 280 BY 281 CURRENT 282 DELETE 283 DESC 284 DISTINCT 285 EXISTS 286 FN 287
%token FROM 288 FULL 289 GROUP 290 HAVING 291 IN 292 INNER 293 IS 294 INSERT 295 INTO 296
%token JOIN 297 LEFT 298 LIKE 299 NULL_ 300 OF 301 OJ 302 ON 303 OUTER 304 ORDER 305
%token PASSTHRU 306 PARAM 307 PERCENT 308 RIGHT 309 SELECT 310 SET 311 UNION 312 UPDATE 313
%token USER 314 VALUES 315 WHERE 316 WITH 317 TIES 318 TOP 319 CASE 320 ELSE 321 END 322
%token THEN 323 WHEN 324 VENDOROPEN 325 VENDORCLOSE 326 LBRACE 327 RBRACE 328 BRACEPASS 329

%type <node> analysable_statement pass_statement brace_pass_statement positioned_delete
%type <node> delete_statement insert_statement insert_source select_statement query
%type <node> set_quantifier percent_opt ties_opt select_head positioned_update assignment_list
%type <node> assignment update_statement where_opt select_list from_part table_list table_item
%type <node> table_ref joined_item join join_type inner_type outer_side outer_opt where_clause
%type <node> group_by_opt column_ref_list having_opt order_by_opt union_opt insert_columns
%type <node> union_clause order_by sort_list sort_item direction search_condition predicate
%type <node> outer_comparison comparison between like escape_opt escape_text null_test
%type <node> in_predicate value_list quantified quantifier exists subquery expr term factor
%type <node> primary as_opt select_item value like_pattern aggregate literal table_name
%type <node> column_ref table_simple column_name alias cursor_name parameter correlation_name
%type <node> integer comp_op outer_op aggregate_name datetime_escape date_escape time_escape
%type <node> timestamp_escape date_text time_text timestamp_text outer_join_escape
%type <node> function_escape scalar_function function_name arg_list brace_open brace_close
%type <node> vendor_open vendor_close simple_case simple_when_list simple_when searched_case
%type <node> searched_when_list searched_when

%left OR
%left AND
%precedence NOT

%start statement
%expect 4

%%

statement
  : analysable_statement { ctx->result = $1; }
  | pass_statement { ctx->result = $1; }
  | brace_pass_statement { ctx->result = $1; }
  ;

analysable_statement
  : select_statement
  | positioned_delete
  | delete_statement
  | insert_statement
  | positioned_update
  | update_statement
  ;

pass_statement: PASSTHRU { $$ = L(0, ""); } ;
brace_pass_statement: BRACEPASS { $$ = L(61, ""); } ;

positioned_delete
  : DELETE FROM table_name WHERE CURRENT OF cursor_name { $$ = N(18, "DELETE FROM $1 WHERE CURRENT OF $2", 2, $3, $7); }
  ;
delete_statement
  : DELETE FROM table_name where_opt { $$ = N(19, "DELETE FROM $1 $2", 2, $3, $4); }
  ;
insert_statement
  : INSERT INTO table_name insert_columns insert_source { $$ = N(28, "INSERT INTO $1 $2 $3", 3, $3, $4, $5); }
  ;
insert_source
  : VALUES '(' value_list ')' { $$ = N(100, "VALUES ( $1 )", 1, $3); }
  | query { $$ = N(100, "$1", 1, $1); }
  ;
select_statement
  : query order_by_opt { $$ = N(74, "$1 $2", 2, $1, $2); }
  ;
query
  : SELECT select_head select_list from_part { $$ = N(72, "SELECT $1 $2 $3", 3, $2, $3, $4); }
  ;
set_quantifier
  : %empty { $$ = L(42, ""); }
  | ALL { $$ = L(42, "ALL"); }
  | DISTINCT { $$ = L(42, "DISTINCT"); }
  ;
percent_opt
  : %empty { $$ = L(53, ""); }
  | PERCENT { $$ = L(53, "PERCENT"); }
  ;
ties_opt
  : %empty { $$ = L(53, ""); }
  | WITH TIES { $$ = L(53, "WITH TIES"); }
  ;
select_head
  : set_quantifier { $$ = N(53, "$1", 1, $1); }
  | set_quantifier TOP integer percent_opt ties_opt { $$ = N(53, "$1 TOP $2 $3 $4", 4, $1, $3, $4, $5); }
  | set_quantifier TOP integer ',' integer percent_opt ties_opt { $$ = N(53, "$1 TOP $2,$3 $4 $5", 5, $1, $3, $5, $6, $7); }
  | set_quantifier TOP '(' expr ')' percent_opt ties_opt { $$ = N(53, "$1 TOP ($2) $3 $4", 4, $1, $4, $6, $7); }
  | set_quantifier TOP '(' expr ',' expr ')' percent_opt ties_opt { $$ = N(53, "$1 TOP ($2, $3) $4 $5", 5, $1, $4, $6, $8, $9); }
  ;
positioned_update
  : UPDATE table_name SET assignment_list WHERE CURRENT OF cursor_name { $$ = N(96, "UPDATE $1 SET $2 WHERE CURRENT OF $3", 3, $2, $4, $8); }
  ;
assignment_list
  : assignment { $$ = N(5, "$1", 1, $1); }
  | assignment_list ',' assignment { $$ = N(5, "$1, $2", 2, $1, $3); }
  ;
assignment
  : column_name COMPARISON expr { $$ = N(4, "$1 = $2", 2, $1, $3); }
  | column_name COMPARISON NULL_ { $$ = N(4, "$1 = NULL", 1, $1); }
  ;
update_statement
  : UPDATE table_name FROM table_list SET assignment_list where_opt { $$ = N(97, "UPDATE $1 FROM $2 SET $3 $4", 4, $2, $4, $6, $7); }
  | UPDATE table_name SET assignment_list FROM table_list where_opt { $$ = N(97, "UPDATE $1 SET $2 FROM $3 $4", 4, $2, $4, $6, $7); }
  | UPDATE table_name SET assignment_list where_opt { $$ = N(97, "UPDATE $1 SET $2 $3", 3, $2, $4, $5); }
  ;
where_opt
  : %empty { $$ = L(54, ""); }
  | where_clause { $$ = N(54, "$1", 1, $1); }
  ;
select_list
  : select_item { $$ = N(73, "$1", 1, $1); }
  | select_list ',' select_item { $$ = N(73, "$1, $2", 2, $1, $3); }
  | '*' { $$ = L(73, "*"); }
  ;
from_part
  : where_opt group_by_opt having_opt union_opt order_by_opt { $$ = N(86, "$1 $2 $3 $4 $5", 5, $1, $2, $3, $4, $5); }
  | FROM table_list where_opt group_by_opt having_opt union_opt order_by_opt { $$ = N(86, "FROM $1 $2 $3 $4 $5 $6", 6, $2, $3, $4, $5, $6, $7); }
  ;
table_list
  : table_item { $$ = N(90, "$1", 1, $1); }
  | table_list ',' table_item { $$ = N(90, "$1, $2", 2, $1, $3); }
  ;
table_item
  : table_ref { $$ = N(89, "$1", 1, $1); }
  | outer_join_escape { $$ = N(89, "$1", 1, $1); }
  | joined_item { $$ = N(89, "$1", 1, $1); }
  ;
table_ref
  : table_name { $$ = N(46, "$1", 1, $1); }
  | table_name as_opt correlation_name { $$ = N(46, "$1 $2 $3", 3, $1, $2, $3); }
  ;
joined_item
  : join { $$ = N(29, "$1", 1, $1); }
  | '(' query ')' as_opt correlation_name order_by_opt { $$ = N(29, "( $1 ) $2 $3 $4", 4, $2, $4, $5, $6); }
  | '(' joined_item ')' { $$ = N(29, "( $1 )", 1, $2); }
  ;
join
  : table_item join_type JOIN table_item ON search_condition { $$ = N(62, "$1 $2 JOIN $3 ON $4", 4, $1, $2, $4, $6); }
  | table_item JOIN table_item ON search_condition { $$ = N(62, "$1 JOIN $2 ON $3", 3, $1, $3, $5); }
  ;
join_type
  : inner_type { $$ = N(30, "$1", 1, $1); }
  | outer_side outer_opt { $$ = N(30, "$1 $2", 2, $1, $2); }
  ;
inner_type: INNER { $$ = L(27, "INNER"); } ;
outer_side
  : LEFT { $$ = L(56, "LEFT"); }
  | RIGHT { $$ = L(56, "RIGHT"); }
  | FULL { $$ = L(56, "FULL"); }
  ;
outer_opt
  : %empty { $$ = L(51, ""); }
  | OUTER { $$ = L(51, "OUTER"); }
  ;
where_clause
  : WHERE search_condition { $$ = N(101, "WHERE $1", 1, $2); }
  ;
group_by_opt
  : %empty { $$ = L(47, ""); }
  | GROUP BY column_ref_list { $$ = N(47, "GROUP BY $1", 1, $3); }
  ;
column_ref_list
  : column_ref { $$ = N(12, "$1", 1, $1); }
  | column_ref_list ',' column_ref { $$ = N(12, "$1, $2", 2, $1, $3); }
  ;
having_opt
  : %empty { $$ = L(48, ""); }
  | HAVING search_condition { $$ = N(48, "HAVING $1", 1, $2); }
  ;
order_by_opt
  : %empty { $$ = L(50, ""); }
  | order_by { $$ = N(50, "$1", 1, $1); }
  ;
union_opt
  : %empty { $$ = L(52, ""); }
  | union_clause { $$ = N(52, "$1", 1, $1); }
  ;
insert_columns
  : %empty { $$ = L(45, ""); }
  | '(' column_ref_list ')' { $$ = N(45, "( $1 )", 1, $2); }
  ;
union_clause
  : UNION query { $$ = N(94, "UNION $1", 1, $2); }
  | UNION ALL query { $$ = N(94, "UNION ALL $1", 1, $3); }
  ;
order_by
  : ORDER BY sort_list { $$ = N(55, "ORDER BY $1", 1, $3); }
  ;
sort_list
  : sort_item { $$ = N(81, "$1", 1, $1); }
  | sort_list ',' sort_item { $$ = N(81, "$1, $2", 2, $1, $3); }
  ;
sort_item
  : integer direction { $$ = N(80, "$1 $2", 2, $1, $2); }
  | column_ref direction { $$ = N(80, "$1 $2", 2, $1, $2); }
  ;
direction
  : %empty { $$ = L(44, ""); }
  | ASC { $$ = L(44, "ASC"); }
  | DESC { $$ = L(44, "DESC"); }
  ;
search_condition
  : %empty { $$ = L(68, ""); }
  | search_condition OR search_condition { $$ = N(68, "$1 OR $2", 2, $1, $3); }
  | search_condition AND search_condition { $$ = N(68, "$1 AND $2", 2, $1, $3); }
  | NOT search_condition { $$ = N(68, "NOT $1", 1, $2); }
  | '(' search_condition ')' { $$ = N(68, "( $1 )", 1, $2); }
  | predicate { $$ = N(68, "$1", 1, $1); }
  ;
predicate
  : comparison { $$ = N(59, "$1", 1, $1); }
  | between { $$ = N(59, "$1", 1, $1); }
  | like { $$ = N(59, "$1", 1, $1); }
  | null_test { $$ = N(59, "$1", 1, $1); }
  | in_predicate { $$ = N(59, "$1", 1, $1); }
  | quantified { $$ = N(59, "$1", 1, $1); }
  | exists { $$ = N(59, "$1", 1, $1); }
  | outer_comparison { $$ = N(59, "$1", 1, $1); }
  ;
outer_comparison
  : column_ref outer_op column_ref { $$ = N(84, "$1 $2 $3", 3, $1, $2, $3); }
  ;
comparison
  : expr comp_op expr { $$ = N(14, "$1 $2 $3", 3, $1, $2, UnwrapSubquery($3)); }
  ;
between
  : expr NOT BETWEEN expr AND expr { $$ = N(6, "$1 NOT BETWEEN $2 AND $3", 3, $1, $4, $6); }
  | expr BETWEEN expr AND expr { $$ = N(6, "$1 BETWEEN $2 AND $3", 3, $1, $3, $5); }
  ;
like
  : expr NOT LIKE like_pattern escape_opt { $$ = N(31, "$1 NOT LIKE $2 $3", 3, $1, $4, $5); }
  | expr LIKE like_pattern escape_opt { $$ = N(31, "$1 LIKE $2 $3", 3, $1, $3, $4); }
  ;
escape_opt
  : %empty { $$ = L(49, ""); }
  | escape_text { $$ = N(49, "$1", 1, $1); }
  | vendor_open escape_text vendor_close { $$ = N(49, "$1 $2 $3", 3, $1, $2, $3); }
  | brace_open escape_text brace_close { $$ = N(49, "$1 $2 $3", 3, $1, $2, $3); }
  ;
escape_text: ESCLIT { $$ = L(21, $1); } ;
null_test
  : column_ref IS NOT NULL_ { $$ = N(33, "$1 IS NOT NULL", 1, $1); }
  | column_ref IS NULL_ { $$ = N(33, "$1 IS NULL", 1, $1); }
  | value IS NOT NULL_ { $$ = N(33, "$1 IS NOT NULL", 1, $1); }
  | value IS NULL_ { $$ = N(33, "$1 IS NULL", 1, $1); }
  ;
in_predicate
  : expr NOT IN subquery { $$ = N(26, "$1 NOT IN $2", 2, $1, $4); }
  | expr IN subquery { $$ = N(26, "$1 IN $2", 2, $1, $3); }
  | expr NOT IN '(' value_list ')' { $$ = N(26, "$1 NOT IN ( $2 )", 2, $1, $5); }
  | expr IN '(' value_list ')' { $$ = N(26, "$1 IN ( $2 )", 2, $1, $4); }
  ;
value_list
  : value { $$ = N(99, "$1", 1, $1); }
  | value_list ',' value { $$ = N(99, "$1, $2", 2, $1, $3); }
  ;
quantified
  : expr comp_op quantifier subquery { $$ = N(66, "$1 $2 $3 $4", 4, $1, $2, $3, $4); }
  ;
quantifier
  : ANY { $$ = L(2, "ANY"); }
  | ALL { $$ = L(2, "ALL"); }
  ;
exists: EXISTS subquery { $$ = N(22, "EXISTS $1", 1, $2); } ;
subquery
  : '(' SELECT set_quantifier select_list FROM table_list where_opt group_by_opt having_opt ')'
    { $$ = N(85, "( SELECT $1 $2 FROM $3 $4 $5 $6 )", 6, $3, $4, $6, $7, $8, $9); }
  ;
expr
  : term { $$ = N(23, "$1", 1, $1); }
  | expr CONCAT term { $$ = N(23, "$1 || $2", 2, $1, $3); }
  | expr '+' term { $$ = N(23, "$1 + $2", 2, $1, $3); }
  | expr '-' term { $$ = N(23, "$1 - $2", 2, $1, $3); }
  | simple_case { $$ = N(23, "$1", 1, $1); }
  | searched_case { $$ = N(23, "$1", 1, $1); }
  ;
term
  : factor { $$ = N(91, "$1", 1, $1); }
  | term '*' factor { $$ = N(91, "$1 * $2", 2, $1, $3); }
  | term '/' factor { $$ = N(91, "$1 / $2", 2, $1, $3); }
  ;
factor
  : primary { $$ = N(24, "$1", 1, $1); }
  | '+' primary { $$ = N(24, "+$1", 1, $2); }
  | '-' primary { $$ = N(24, "-$1", 1, $2); }
  ;
primary
  : column_ref { $$ = N(60, "$1", 1, $1); }
  | parameter { $$ = N(60, "$1", 1, $1); }
  | literal { $$ = N(60, "$1", 1, $1); }
  | function_escape { $$ = N(60, "$1", 1, $1); }
  | scalar_function { $$ = N(60, "$1", 1, $1); }
  | aggregate { $$ = N(60, "$1", 1, $1); }
  | USER { $$ = L(60, "USER"); }
  | subquery { $$ = N(60, "$1", 1, $1); }
  | '(' expr ')' { $$ = N(60, "( $1 )", 1, $2); }
  ;
as_opt
  : %empty { $$ = L(43, ""); }
  | AS { $$ = L(43, "AS"); }
  ;
select_item
  : expr { $$ = N(75, "$1", 1, $1); }
  | expr as_opt alias { $$ = N(75, "$1 $2 $3", 3, $1, $2, $3); }
  | IDENT '.' '*' { $$ = N(75, "$1.*", 1, N(88, "$1", 1, L(87, $1))); }
  | IDENT '.' IDENT '.' '*' { $$ = N(75, "$1.*", 1, N(88, "$1.$2", 2, L(57, $1), L(87, $3))); }
  | IDENT '.' IDENT '.' IDENT '.' '*' { $$ = N(75, "$1.*", 1, N(88, "$1.$2.$3", 3, L(63, $1), L(57, $3), L(87, $5))); }
  | IDENT '.' '.' IDENT '.' '*' { $$ = N(75, "$1.*", 1, N(88, "$1..$2", 2, L(63, $1), L(88, $4))); }
  | IDENT ':' IDENT '.' '*' { $$ = N(75, "$1.*", 1, N(88, "$1:$2", 2, L(63, $1), L(88, $3))); }
  | IDENT ':' IDENT '.' IDENT '.' '*' { $$ = N(75, "$1.*", 1, N(88, "$1:$2.$3", 3, L(63, $1), L(57, $3), L(87, $5))); }
  | IDENT '@' IDENT ':' IDENT '.' '*'
    { $$ = N(75, "$1.*", 1, N(88, "$1:$2", 2, N(63, "$1@$2", 2, L(64, $1), L(64, $3)), L(87, $5))); }
  | IDENT '@' IDENT ':' IDENT '.' IDENT '.' '*'
    { $$ = N(75, "$1.*", 1, N(88, "$1:$2.$3", 3, N(63, "$1@$2", 2, L(64, $1), L(64, $3)), L(57, $5), L(87, $7))); }
  ;
value
  : parameter { $$ = N(98, "$1", 1, $1); }
  | literal { $$ = N(98, "$1", 1, $1); }
  | USER { $$ = L(98, "USER"); }
  ;
like_pattern
  : parameter { $$ = N(58, "$1", 1, $1); }
  | STRING { $$ = L(58, $1); }
  | USER { $$ = L(58, "USER"); }
  ;
aggregate
  : aggregate_name '(' '*' ')' { SCR_NodeFreeOne(&$1); $$ = L(76, "COUNT (*)"); }
  | aggregate_name '(' DISTINCT column_ref ')' { $$ = N(76, "$1( DISTINCT $2 )", 2, $1, $4); }
  | aggregate_name '(' expr ')' { $$ = N(76, "$1( $2 )", 2, $1, $3); }
  ;
literal
  : STRING { $$ = L(32, $1); }
  | integer { $$ = N(32, "$1", 1, $1); }
  | DECIMAL { $$ = L(32, $1); }
  | EXPNUM { $$ = L(32, $1); }
  | datetime_escape { $$ = N(32, "$1", 1, $1); }
  | HEXLIT { $$ = L(7, $1); }
  ;
table_name
  : table_simple { $$ = N(88, "$1", 1, $1); }
  | IDENT '.' IDENT { $$ = N(88, "$1.$2", 2, L(63, $1), L(87, $3)); }
  | IDENT '.' '.' IDENT { $$ = N(88, "$1..$2", 2, L(63, $1), L(87, $4)); }
  | IDENT '.' IDENT '.' IDENT { $$ = N(88, "$1.$2.$3", 3, L(63, $1), L(57, $3), L(87, $5)); }
  | IDENT '@' IDENT { $$ = N(88, "$1@$2", 2, L(87, $1), L(63, $3)); }
  | IDENT '.' IDENT '@' IDENT { $$ = N(88, "$1.$2@$3", 3, L(57, $1), L(87, $3), L(63, $5)); }
  | IDENT ':' IDENT { $$ = N(88, "$1:$2", 2, L(63, $1), L(87, $3)); }
  | IDENT '@' IDENT ':' IDENT { $$ = N(88, "$1:$2", 2, N(63, "$1@$2", 2, L(64, $1), L(64, $3)), L(87, $5)); }
  | IDENT ':' IDENT '.' IDENT { $$ = N(88, "$1:$2.$3", 3, L(63, $1), L(57, $3), L(87, $5)); }
  | IDENT '@' IDENT ':' IDENT '.' IDENT
    { $$ = N(88, "$1:$2.$3", 3, N(63, "$1@$2", 2, L(64, $1), L(64, $3)), L(57, $5), L(87, $7)); }
  ;
column_ref
  : column_name { $$ = N(11, "$1", 1, $1); }
  | IDENT '.' IDENT { $$ = N(11, "$1.$2", 2, L(87, $1), L(10, $3)); }
  | IDENT '.' IDENT '.' IDENT { $$ = N(11, "$1.$2.$3", 3, L(57, $1), L(87, $3), L(10, $5)); }
  ;
table_simple: IDENT { $$ = L(87, $1); } ;
column_name: IDENT { $$ = L(10, $1); } ;
alias: IDENT { $$ = L(9, $1); } ;
cursor_name: IDENT { $$ = L(16, $1); } ;
parameter: PARAM { $$ = L(20, "?"); } ;
correlation_name: IDENT { $$ = L(15, $1); } ;
integer: INTEGER { $$ = L(95, $1); } ;
comp_op: COMPARISON { $$ = L(13, $1); } ;
outer_op: OUTEROP { $$ = L(56, $1); } ;
aggregate_name: AGGNAME { $$ = L(1, $1); } ;
datetime_escape
  : date_escape { $$ = N(35, "$1", 1, $1); }
  | time_escape { $$ = N(35, "$1", 1, $1); }
  | timestamp_escape { $$ = N(35, "$1", 1, $1); }
  ;
date_escape
  : vendor_open date_text vendor_close { $$ = N(34, "$1 $2 $3", 3, $1, $2, $3); }
  | brace_open date_text brace_close { $$ = N(34, "$1 $2 $3", 3, $1, $2, $3); }
  ;
time_escape
  : vendor_open time_text vendor_close { $$ = N(40, "$1 $2 $3", 3, $1, $2, $3); }
  | brace_open time_text brace_close { $$ = N(40, "$1 $2 $3", 3, $1, $2, $3); }
  ;
timestamp_escape
  : vendor_open timestamp_text vendor_close { $$ = N(41, "$1 $2 $3", 3, $1, $2, $3); }
  | brace_open timestamp_text brace_close { $$ = N(41, "$1 $2 $3", 3, $1, $2, $3); }
  ;
date_text: DATELIT { $$ = L(17, $1); } ;
time_text: TIMELIT { $$ = L(92, $1); } ;
timestamp_text: TSLIT { $$ = L(93, $1); } ;
outer_join_escape
  : brace_open OJ join brace_close { $$ = N(38, "$1 oj $2 $3", 3, $1, $3, $4); }
  | vendor_open OJ join vendor_close { $$ = N(38, "$1 oj $2 $3", 3, $1, $3, $4); }
  ;
function_escape
  : brace_open FN scalar_function brace_close { $$ = N(39, "$1 fn $2 $3", 3, $1, $3, $4); }
  | vendor_open FN scalar_function vendor_close { $$ = N(39, "$1 fn $2 $3", 3, $1, $3, $4); }
  ;
scalar_function
  : function_name '(' arg_list ')' { $$ = N(67, "$1( $2 )", 2, $1, $3); }
  ;
function_name: IDENT { $$ = L(25, $1); } ;
arg_list
  : %empty { $$ = L(3, ""); }
  | expr { $$ = N(3, "$1", 1, $1); }
  | expr ',' arg_list { $$ = N(3, "$1, $2", 2, $1, $3); }
  | expr FROM expr { $$ = N(3, "$1 FROM $2", 2, $1, $3); }
  | expr IN expr { $$ = N(3, "$1 IN $2", 2, $1, $3); }
  ;
brace_open: LBRACE { $$ = L(36, "{"); } ;
brace_close: RBRACE { $$ = L(37, "}"); } ;
vendor_open: VENDOROPEN { $$ = L(36, " --(* VENDOR(Microsoft), PRODUCT(ODBC) "); } ;
vendor_close: VENDORCLOSE { $$ = L(37, " *)--"); } ;
simple_case
  : CASE expr simple_when_list END { $$ = N(77, "CASE $1 $2 END", 2, $2, $3); }
  ;
simple_when_list
  : simple_when { $$ = N(78, "$1", 1, $1); }
  | simple_when_list simple_when { $$ = N(78, "$1 $2", 2, $1, $2); }
  ;
simple_when
  : WHEN expr THEN expr { $$ = N(79, "WHEN $1 THEN $2", 2, $2, $4); }
  | ELSE expr { $$ = N(79, "ELSE $1", 1, $2); }
  ;
searched_case
  : CASE searched_when_list END { $$ = N(69, "CASE $1 END", 1, $2); }
  ;
searched_when_list
  : searched_when { $$ = N(70, "$1", 1, $1); }
  | searched_when_list searched_when { $$ = N(70, "$1 $2", 2, $1, $2); }
  ;
searched_when
  : WHEN search_condition THEN expr { $$ = N(71, "WHEN $1 THEN $2", 2, $2, $4); }
  | ELSE expr { $$ = N(71, "ELSE $1", 1, $2); }
  ;

%%

static void scsql_error(ScsqlCtx* ctx, void* scanner, const char* msg) {
  (void)scanner;
  ScsqlError(ctx, msg);
}
