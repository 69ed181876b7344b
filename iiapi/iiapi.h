/*
 * iiapi.h: the OpenAPI client interface of the embedded engine.
 *
 * The engine stands in for an Ingres server: each session is an embedded SQLite database file.
 * The interface keeps the shape of an asynchronous client library: every call takes a parameter
 * block, most blocks begin with the generic header (IIAPI_GENPARM), and a call is complete when
 * the header's completion flag is set.  This engine completes every call inside the call itself,
 * so IIapi_wait returns at once; callers may still poll it as they would for a remote server.
 *
 * Handles are opaque and typed.  A null, stale (already released) or wrong-kind handle makes the
 * call complete with IIAPI_ST_INVALID_HANDLE; it never crashes.  Calls made before IIapi_initialize
 * (or after the last IIapi_terminate) complete with IIAPI_ST_NOT_INITIALIZED.
 *
 * Errors: a failed call leaves its messages on the handle named by the header's error handle
 * (gp_errorHandle); IIapi_getErrorInfo returns them one per call, oldest first, until it answers
 * IIAPI_ST_NO_DATA.  The messages of a handle are replaced by the next call made on that handle.
 *
 * Everything here is plain C layout so that the values match what a C caller expects.
 */
#ifndef IIAPI_IIAPI_H
#define IIAPI_IIAPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Basic types ---------------------------------------------------------------------------- */

typedef int8_t II_INT1;
typedef int16_t II_INT2;
typedef int32_t II_INT4;
typedef int64_t II_INT8;
typedef uint8_t II_UINT1;
typedef uint16_t II_UINT2;
typedef uint32_t II_UINT4;
typedef float II_FLOAT4;
typedef double II_FLOAT8;
typedef int32_t II_BOOL;
typedef char II_CHAR;
typedef void* II_PTR;
typedef int32_t II_LONG;
typedef uint32_t II_ULONG;

#define II_TRUE 1
#define II_FALSE 0

/* ---- Statuses ------------------------------------------------------------------------------- */

typedef int32_t IIAPI_STATUS;
#define IIAPI_ST_SUCCESS 0
#define IIAPI_ST_MESSAGE 1
#define IIAPI_ST_WARNING 2
#define IIAPI_ST_NO_DATA 3
#define IIAPI_ST_ERROR 4
#define IIAPI_ST_FAILURE 5
#define IIAPI_ST_NOT_INITIALIZED 6
#define IIAPI_ST_INVALID_HANDLE 7
#define IIAPI_ST_OUT_OF_MEMORY 8

/* ---- Versions and API levels ---------------------------------------------------------------- */

#define IIAPI_VERSION_1 1
#define IIAPI_VERSION_8 8
#define IIAPI_VERSION IIAPI_VERSION_8

/* API level reported by IIapi_connect (co_apiLevel).  Level 2 and above know the national (N)
 * types; level 5 and above distinguish procedure input parameters from by-reference ones. */
#define IIAPI_LEVEL_0 0
#define IIAPI_LEVEL_1 1
#define IIAPI_LEVEL_2 2
#define IIAPI_LEVEL_3 3
#define IIAPI_LEVEL_4 4
#define IIAPI_LEVEL_5 5

/* ---- Environment parameters (IIapi_setEnvParam) --------------------------------------------- */

/* Largest segment of a long value, in bytes (II_LONG value); also the segment size advised at
 * connect (co_sizeAdvise) and the descriptor length of long result columns.  Default 8192. */
#define IIAPI_EP_MAX_SEGMENT_LEN 24

/* ---- Connection parameters (IIapi_setConnectParam) ------------------------------------------ */

#define IIAPI_CP_DECIMAL_CHAR 16   /* text: the decimal separator, "." or "," */
#define IIAPI_CP_ROLE_ID 27        /* text: role name (accepted, recorded) */
#define IIAPI_CP_GROUP_ID 28       /* text: group name (accepted, recorded) */
#define IIAPI_CP_EFFECTIVE_USER 29 /* text: the session's user name instead of the login user */
#define IIAPI_CP_DBMS_PASSWORD 36  /* text: DBMS password (accepted, recorded) */

/* Connection types (co_type). */
#define IIAPI_CT_NONE 0
#define IIAPI_CT_SQL 1

/* ---- Query types (IIapi_query qy_queryType) ------------------------------------------------- */

#define IIAPI_QT_QUERY 0         /* any statement; a SELECT returns rows */
#define IIAPI_QT_SELECT_SINGLE 1 /* a SELECT expected to return at most one row */
#define IIAPI_QT_EXEC 2          /* "execute NAME" of a statement prepared earlier */
#define IIAPI_QT_OPEN                                                                      \
    3                             /* "NAME for readonly": a cursor over a prepared SELECT; \
                                     the cursor name is the first (service) parameter */
#define IIAPI_QT_EXEC_PROCEDURE 8 /* no text; service parameters: procedure name, then owner */

/* ---- Column types of descriptors (ds_columnType) -------------------------------------------- */

#define IIAPI_COL_TUPLE 0         /* result column */
#define IIAPI_COL_PROCBYREFPARM 1 /* procedure parameter, input and output */
#define IIAPI_COL_PROCINPARM 2    /* procedure input parameter */
#define IIAPI_COL_SVCPARM 3       /* service parameter (cursor name, procedure name, owner) */
#define IIAPI_COL_QPARM 4         /* query parameter ("?" marker, in order) */

/* ---- Data type codes (ds_dataType) ---------------------------------------------------------- */

typedef int16_t IIAPI_DT_ID;
#define IIAPI_DATE_TYPE 3    /* ingresdate: absolute date, date and time, or interval */
#define IIAPI_ADATE_TYPE 4   /* ansidate */
#define IIAPI_MNY_TYPE 5     /* money: 8-byte float of cents-exact amounts */
#define IIAPI_TMWO_TYPE 6    /* time without time zone */
#define IIAPI_TMTZ_TYPE 7    /* time with time zone */
#define IIAPI_TIME_TYPE 8    /* time with local time zone */
#define IIAPI_TSWO_TYPE 9    /* timestamp without time zone */
#define IIAPI_DEC_TYPE 10    /* decimal(p,s): packed, see below */
#define IIAPI_LOGKEY_TYPE 11 /* object_key */
#define IIAPI_TABKEY_TYPE 12 /* table_key */
#define IIAPI_TSTZ_TYPE 18   /* timestamp with time zone */
#define IIAPI_TS_TYPE 19     /* timestamp with local time zone */
#define IIAPI_CHA_TYPE 20    /* char(n): n bytes, blank padded */
#define IIAPI_VCH_TYPE 21    /* varchar(n): u16 length + n bytes */
#define IIAPI_LVCH_TYPE 22   /* long varchar: segments of u16 length + bytes */
#define IIAPI_BYTE_TYPE 23   /* byte(n): n bytes, zero padded */
#define IIAPI_VBYTE_TYPE 24  /* byte varying(n): u16 length + n bytes */
#define IIAPI_LBYTE_TYPE 25  /* long byte: segments of u16 length + bytes */
#define IIAPI_NCHA_TYPE 26   /* nchar(n): n UTF-16 units, blank padded */
#define IIAPI_NVCH_TYPE 27   /* nvarchar(n): u16 count + n UTF-16 units */
#define IIAPI_LNVCH_TYPE 28  /* long nvarchar: segments of u16 count + UTF-16 units */
#define IIAPI_INT_TYPE 30    /* integer of 1, 2, 4 or 8 bytes, native byte order */
#define IIAPI_FLT_TYPE 31    /* float of 4 or 8 bytes */
#define IIAPI_CHR_TYPE 32    /* c(n): like char */
#define IIAPI_INTYM_TYPE 33  /* interval year to month */
#define IIAPI_INTDS_TYPE 34  /* interval day to second */
#define IIAPI_TXT_TYPE 37    /* text(n): like varchar */
#define IIAPI_BOOL_TYPE 38   /* boolean: 1 byte, 0 or 1 */
#define IIAPI_LTXT_TYPE 41   /* long text: like varchar */

/*
 * Value layouts of the types that are not plain bytes or numbers, as this engine stores them:
 *  - DECIMAL: packed decimal, (precision / 2 + 1) bytes, two digits per byte, most significant
 *    first, the last half byte the sign (0xC plus, 0xD minus).  Length = precision / 2 + 1.
 *  - DATE (ingresdate), ANSIDATE, TIME*, TIMESTAMP*, INTERVAL*: 12 bytes, IIAPI_DATETIME below.
 *  - MONEY: an 8-byte float holding the amount (two decimals are significant).
 * Applications normally read these through IIapi_convertData to CHAR or VARCHAR, which gives:
 *  - DATE/ingresdate: "yyyy-mm-dd hh:mm:ss" for a date and time, "yyyy-mm-dd" for a date only,
 *    "" (all blanks) for the empty date; intervals "d days hh:mm:ss" style texts.
 *  - ANSIDATE "yyyy-mm-dd"; TIME "hh:mm:ss"; TIMESTAMP "yyyy-mm-dd hh:mm:ss.ffffff".
 *  - INTERVAL YEAR TO MONTH "y-mm"; INTERVAL DAY TO SECOND "d hh:mm:ss".
 *  - DECIMAL "-123.45" (scale digits kept); MONEY "$1234.50" without the sign when positive,
 *    "-$1234.50" when negative; INTEGER "%ld"; FLOAT "%.*g".
 * The layouts the driver parses are those above (dates: the fifth character '-').
 */
typedef struct IIAPI_DATETIME {
    II_INT2 dt_year; /* 0 for a time or an interval */
    II_UINT1 dt_month;
    II_UINT1 dt_day;
    II_UINT1 dt_hour;
    II_UINT1 dt_minute;
    II_UINT1 dt_second;
    II_UINT1 dt_kind; /* IIAPI_DTK_* */
    II_UINT4 dt_nanosecond;
} IIAPI_DATETIME;

#define IIAPI_DTK_EMPTY 0    /* the empty ingresdate '' */
#define IIAPI_DTK_DATE 1     /* a date without a time */
#define IIAPI_DTK_DATETIME 2 /* a date and a time */
#define IIAPI_DTK_TIME 3     /* a time of day */
#define IIAPI_DTK_INTERVAL                                                                           \
    4                            /* an interval: dt_year/dt_month years and months, the day count    \
                                    in dt_nanosecond (dt_day holds it up to 255), dt_hour..dt_second \
                                    the time, all magnitudes */
#define IIAPI_DTK_NEG_INTERVAL 5 /* the same, negative */

/* ---- Values and descriptors ----------------------------------------------------------------- */

/* One value.  dv_null is 1 (or any non-zero value) for NULL; dv_length is the number of bytes at
 * dv_value.  For variable-length types (VARCHAR, TEXT, VARBYTE, NVARCHAR) the bytes begin with
 * their own u16 length (a character count for NVARCHAR); long types travel as segments of that
 * form. */
typedef struct IIAPI_DATAVALUE {
    II_BOOL dv_null;
    II_UINT2 dv_length;
    II_PTR dv_value;
} IIAPI_DATAVALUE;

/* One column or parameter.  ds_length is the byte length of a value of this type (for VARCHAR
 * including the u16 prefix; for long types the segment buffer length).  For DECIMAL ds_precision
 * and ds_scale give the declared precision and scale; for FLOAT ds_precision the digits.
 * ds_nullable is non-zero when the column may hold NULL (parameters: when the value is NULL). */
typedef struct IIAPI_DESCRIPTOR {
    IIAPI_DT_ID ds_dataType;
    II_BOOL ds_nullable;
    II_UINT2 ds_length;
    II_INT2 ds_precision;
    II_INT2 ds_scale;
    II_INT2 ds_columnType;
    II_CHAR* ds_columnName; /* owned by the engine (results) or the caller (parameters) */
} IIAPI_DESCRIPTOR;

/* ---- Generic header ------------------------------------------------------------------------- */

typedef void(IIAPI_CALLBACK)(II_PTR closure, II_PTR parmBlock);

typedef struct IIAPI_GENPARM {
    IIAPI_CALLBACK* gp_callback; /* called once when the call completes, may be null */
    II_PTR gp_closure;           /* handed to the callback */
    II_BOOL gp_completed;        /* set when the call has completed */
    IIAPI_STATUS gp_status;      /* the call's status, valid once gp_completed is set */
    II_PTR gp_errorHandle;       /* where IIapi_getErrorInfo finds the call's messages; null
                                    when there are none */
} IIAPI_GENPARM;

/* ---- Environment ---------------------------------------------------------------------------- */

typedef struct IIAPI_INITPARM {
    II_LONG in_timeout;     /* ignored */
    II_LONG in_version;     /* IIAPI_VERSION_1 .. IIAPI_VERSION_8 */
    IIAPI_STATUS in_status; /* out */
    II_PTR in_envHandle;    /* out: a new environment (version 2 and above) */
} IIAPI_INITPARM;

typedef struct IIAPI_SETENVPRMPARM {
    II_PTR se_envHandle;
    II_LONG se_paramID;
    II_PTR se_paramValue;   /* points to the value (II_LONG for IIAPI_EP_MAX_SEGMENT_LEN) */
    IIAPI_STATUS se_status; /* out */
} IIAPI_SETENVPRMPARM;

typedef struct IIAPI_RELENVPARM {
    II_PTR re_envHandle;
    IIAPI_STATUS re_status; /* out */
} IIAPI_RELENVPARM;

typedef struct IIAPI_TERMPARM {
    IIAPI_STATUS tm_status; /* out */
} IIAPI_TERMPARM;

/* ---- Connections and transactions ----------------------------------------------------------- */

typedef struct IIAPI_SETCONPRMPARM {
    IIAPI_GENPARM sc_genParm;
    II_PTR sc_connHandle; /* in: an environment or a connection handle; out: the connection */
    II_LONG sc_paramID;   /* IIAPI_CP_* */
    II_PTR sc_paramValue; /* NUL-terminated text */
} IIAPI_SETCONPRMPARM;

typedef struct IIAPI_CONNPARM {
    IIAPI_GENPARM co_genParm;
    II_CHAR* co_target;    /* "[node::]database[/server_class]"; a text beginning with '/' or
                              '.' is the path of a database file */
    II_CHAR* co_username;  /* may be null: the operating system user */
    II_CHAR* co_password;  /* may be null */
    II_LONG co_timeout;    /* ignored: the engine never waits for a server */
    II_PTR co_connHandle;  /* in: environment or connection (from setConnectParam); out */
    II_PTR co_tranHandle;  /* in: null, or a transaction id from IIapi_registerXID; out */
    II_LONG co_sizeAdvise; /* out: segment size for long values */
    II_LONG co_apiLevel;   /* out: IIAPI_LEVEL_* */
    II_LONG co_type;       /* IIAPI_CT_SQL */
} IIAPI_CONNPARM;

typedef struct IIAPI_DISCONNPARM {
    IIAPI_GENPARM dc_genParm;
    II_PTR dc_connHandle;
} IIAPI_DISCONNPARM;

/* Autocommit: with ac_tranHandle null it switches the session to autocommit and returns an
 * autocommit transaction handle; called with that handle it switches autocommit off again. */
typedef struct IIAPI_AUTOPARM {
    IIAPI_GENPARM ac_genParm;
    II_PTR ac_connHandle;
    II_PTR ac_tranHandle; /* in/out */
} IIAPI_AUTOPARM;

typedef struct IIAPI_COMMITPARM {
    IIAPI_GENPARM cm_genParm;
    II_PTR cm_tranHandle; /* released on success */
} IIAPI_COMMITPARM;

typedef struct IIAPI_ROLLBACKPARM {
    IIAPI_GENPARM rb_genParm;
    II_PTR rb_tranHandle;      /* released on success */
    II_PTR rb_savePointHandle; /* must be null: savepoints are SQL ("ROLLBACK TO name") */
} IIAPI_ROLLBACKPARM;

typedef struct IIAPI_PREPCMTPARM {
    IIAPI_GENPARM pr_genParm;
    II_PTR pr_tranHandle;
} IIAPI_PREPCMTPARM;

/* Distributed transaction ids (XA). */
#define IIAPI_TI_IIXID 1
#define IIAPI_TI_XAXID 2
#define IIAPI_XA_MAXGTRIDSIZE 64
#define IIAPI_XA_MAXBQUALSIZE 64
#define IIAPI_XA_XIDDATASIZE 128

typedef struct IIAPI_XA_DIS_TRAN_ID {
    II_LONG xa_formatID;
    II_LONG xa_gtridLength;
    II_LONG xa_bqualLength;
    II_CHAR xa_data[IIAPI_XA_XIDDATASIZE];
    II_LONG xa_branchSeqnum;
    II_LONG xa_branchFlag;
} IIAPI_XA_DIS_TRAN_ID;

typedef struct IIAPI_II_TRAN_ID {
    II_UINT4 it_highTran;
    II_UINT4 it_lowTran;
} IIAPI_II_TRAN_ID;

typedef struct IIAPI_TRAN_ID {
    II_ULONG ti_type; /* IIAPI_TI_IIXID or IIAPI_TI_XAXID */
    union {
        IIAPI_II_TRAN_ID iiXID;
        IIAPI_XA_DIS_TRAN_ID xaXID;
    } ti_value;
} IIAPI_TRAN_ID;

typedef struct IIAPI_REGXIDPARM {
    IIAPI_TRAN_ID rg_tranID;
    II_PTR rg_tranIdHandle; /* out */
    IIAPI_STATUS rg_status; /* out */
} IIAPI_REGXIDPARM;

typedef struct IIAPI_RELXIDPARM {
    II_PTR rl_tranIdHandle;
    IIAPI_STATUS rl_status; /* out */
} IIAPI_RELXIDPARM;

/* ---- Queries -------------------------------------------------------------------------------- */

typedef struct IIAPI_QUERYPARM {
    IIAPI_GENPARM qy_genParm;
    II_PTR qy_connHandle;
    II_LONG qy_queryType;  /* IIAPI_QT_* */
    II_CHAR* qy_queryText; /* null for IIAPI_QT_EXEC_PROCEDURE */
    II_BOOL qy_parameters; /* parameters follow through setDescriptor and putParms */
    II_PTR qy_tranHandle;  /* in: the session's transaction or null; out: the transaction */
    II_PTR qy_stmtHandle;  /* out: the statement, also when the query failed */
} IIAPI_QUERYPARM;

typedef struct IIAPI_SETDESCRPARM {
    IIAPI_GENPARM sd_genParm;
    II_PTR sd_stmtHandle;
    II_INT2 sd_descriptorCount;
    IIAPI_DESCRIPTOR* sd_descriptor; /* copied by the engine */
} IIAPI_SETDESCRPARM;

/* Sends the next pp_parmCount parameter values in descriptor order.  A long parameter is sent
 * alone, one segment per call, with pp_moreSegments set while segments follow. */
typedef struct IIAPI_PUTPARMPARM {
    IIAPI_GENPARM pp_genParm;
    II_PTR pp_stmtHandle;
    II_INT2 pp_parmCount;
    IIAPI_DATAVALUE* pp_parmData;
    II_BOOL pp_moreSegments;
} IIAPI_PUTPARMPARM;

/* Result descriptors; IIAPI_ST_NO_DATA when the statement returns no rows (a prepared statement
 * that is not a SELECT answers success with no descriptors).  The array lives until the
 * statement is closed. */
typedef struct IIAPI_GETDESCRPARM {
    IIAPI_GENPARM gd_genParm;
    II_PTR gd_stmtHandle;
    II_INT2 gd_descriptorCount;      /* out */
    IIAPI_DESCRIPTOR* gd_descriptor; /* out */
} IIAPI_GETDESCRPARM;

/* Reads values in row order into the caller's gc_columnData (gc_rowCount x gc_columnCount values,
 * each dv_value a buffer of at least the descriptor's length).  A call may read part of a row
 * (the next gc_columnCount columns); only then must gc_rowCount be 1.  A long column is read
 * alone, one segment per call, gc_moreSegments set while segments of it remain.
 * IIAPI_ST_NO_DATA only when no row is delivered. */
typedef struct IIAPI_GETCOLPARM {
    IIAPI_GENPARM gc_genParm;
    II_PTR gc_stmtHandle;
    II_INT2 gc_rowCount;
    II_INT2 gc_columnCount;
    IIAPI_DATAVALUE* gc_columnData;
    II_INT2 gc_rowsReturned; /* out */
    II_BOOL gc_moreSegments; /* out */
} IIAPI_GETCOLPARM;

#define IIAPI_GQF_FAIL 0x0001
#define IIAPI_GQF_ALL_UPDATED 0x0002
#define IIAPI_GQF_NULLS_REMOVED 0x0004
#define IIAPI_GQF_UNKNOWN_REPEAT_QUERY 0x0008
#define IIAPI_GQF_END_OF_DATA 0x0010
#define IIAPI_GQF_CONTINUE 0x0020
#define IIAPI_GQF_INVALID_STATEMENT 0x0040
#define IIAPI_GQF_TRANSACTION_INACTIVE 0x0080
#define IIAPI_GQF_OBJECT_KEY 0x0100
#define IIAPI_GQF_TABLE_KEY 0x0200
#define IIAPI_GQF_NEW_EFFECTIVE_USER 0x0400
#define IIAPI_GQF_FLUSH_QUERY_ID 0x0800
#define IIAPI_GQF_ILLEGAL_XACT_STMT 0x1000

#define IIAPI_GQ_ROW_COUNT 0x0001
#define IIAPI_GQ_CURSOR 0x0002
#define IIAPI_GQ_PROCEDURE_RET 0x0004
#define IIAPI_GQ_PROCEDURE_ID 0x0008
#define IIAPI_GQ_REPEAT_QUERY_ID 0x0010
#define IIAPI_GQ_TABLE_KEY 0x0020
#define IIAPI_GQ_OBJECT_KEY 0x0040

typedef struct IIAPI_GETQINFOPARM {
    IIAPI_GENPARM gq_genParm;
    II_PTR gq_stmtHandle;
    II_ULONG gq_flags;   /* out: IIAPI_GQF_* */
    II_ULONG gq_mask;    /* out: IIAPI_GQ_*: which fields below are set */
    II_LONG gq_rowCount; /* rows affected, or rows fetched so far */
    II_BOOL gq_readOnly; /* the cursor is read-only */
    II_LONG gq_procedureReturn;
    II_PTR gq_procedureHandle;
    II_PTR gq_repeatQueryHandle;
    II_CHAR gq_tableKey[8];
    II_CHAR gq_objectKey[16];
} IIAPI_GETQINFOPARM;

typedef struct IIAPI_CLOSEPARM {
    IIAPI_GENPARM cl_genParm;
    II_PTR cl_stmtHandle; /* released, also when the statement had failed */
} IIAPI_CLOSEPARM;

/* Positions a cursor on a row it handed out.  This engine's cursors do not scroll: a cursor that
 * takes positioned changes hands out one row per IIapi_getColumns, and a client that reads
 * several of them into one block names which of them UPDATE and DELETE ... WHERE CURRENT OF
 * change: po_reference IIAPI_POS_BEGIN with po_offset the row's number (1 the cursor's first
 * row) and po_rowCount 0; the number after the last row handed out leaves the cursor on no
 * row.  One of the last 65536 rows handed out may be named; reading goes on
 * after the last row handed out, and the row it reads is current again.  Another cursor fails
 * (24000), as do other references and row counts (S1C00) and a row the cursor cannot name
 * (S1109). */
#define IIAPI_POS_BEGIN 1
#define IIAPI_POS_END 2
#define IIAPI_POS_CURRENT 3

typedef struct IIAPI_POSPARM {
    IIAPI_GENPARM po_genParm;
    II_PTR po_stmtHandle;
    II_UINT2 po_reference; /* IIAPI_POS_* */
    II_INT4 po_offset;
    II_INT2 po_rowCount;
} IIAPI_POSPARM;

/* May be called from another thread while the statement runs; the running call then fails with
 * a cancelled error (SQLSTATE S1008 "Operation cancelled", native code 4702). */
typedef struct IIAPI_CANCELPARM {
    IIAPI_GENPARM cn_genParm;
    II_PTR cn_stmtHandle;
} IIAPI_CANCELPARM;

/* ---- Errors, waiting, conversion ------------------------------------------------------------ */

#define IIAPI_GE_ERROR 1
#define IIAPI_GE_WARNING 2
#define IIAPI_GE_MESSAGE 3

/* One message per call; ge_status IIAPI_ST_NO_DATA when none remains.  ge_message and the
 * other pointers stay valid until the next call on the same handle. */
typedef struct IIAPI_GETEINFOPARM {
    II_PTR ge_errorHandle;
    II_LONG ge_type;            /* out: IIAPI_GE_* */
    II_CHAR ge_SQLSTATE[6];     /* out: five characters and NUL */
    II_LONG ge_errorCode;       /* out: native error code */
    II_CHAR* ge_message;        /* out: ASCII text */
    II_BOOL ge_serverInfoAvail; /* out: always false */
    IIAPI_STATUS ge_status;     /* out */
} IIAPI_GETEINFOPARM;

typedef struct IIAPI_WAITPARM {
    II_LONG wt_timeout;     /* milliseconds; ignored, no call is ever pending */
    IIAPI_STATUS wt_status; /* out */
} IIAPI_WAITPARM;

/* Converts one value.  cv_dstValue.dv_value must have room for cv_dstDesc.ds_length bytes; on
 * success cv_dstValue.dv_length is the converted length.  Text results are not NUL-terminated
 * (CHAR is blank padded to the target length; VARCHAR carries its u16 prefix).  UTF-8 text is
 * never cut inside a character. */
typedef struct IIAPI_CONVERTPARM {
    IIAPI_DESCRIPTOR cv_srcDesc;
    IIAPI_DATAVALUE cv_srcValue;
    IIAPI_DESCRIPTOR cv_dstDesc;
    IIAPI_DATAVALUE cv_dstValue; /* in: buffer; out: length and null flag */
    IIAPI_STATUS cv_status;      /* out */
} IIAPI_CONVERTPARM;

/* ---- Calls ---------------------------------------------------------------------------------- */

void IIapi_initialize(IIAPI_INITPARM* initParm);
void IIapi_setEnvParam(IIAPI_SETENVPRMPARM* setEnvPrmParm);
void IIapi_releaseEnv(IIAPI_RELENVPARM* relEnvParm);
void IIapi_terminate(IIAPI_TERMPARM* termParm);
void IIapi_setConnectParam(IIAPI_SETCONPRMPARM* setConPrmParm);
void IIapi_connect(IIAPI_CONNPARM* connParm);
void IIapi_disconnect(IIAPI_DISCONNPARM* disconnParm);
void IIapi_autocommit(IIAPI_AUTOPARM* autoParm);
void IIapi_commit(IIAPI_COMMITPARM* commitParm);
void IIapi_rollback(IIAPI_ROLLBACKPARM* rollbackParm);
void IIapi_prepareCommit(IIAPI_PREPCMTPARM* prepCmtParm);
void IIapi_registerXID(IIAPI_REGXIDPARM* regXIDParm);
void IIapi_releaseXID(IIAPI_RELXIDPARM* relXIDParm);
void IIapi_query(IIAPI_QUERYPARM* queryParm);
void IIapi_setDescriptor(IIAPI_SETDESCRPARM* setDescrParm);
void IIapi_putParms(IIAPI_PUTPARMPARM* putParmsParm);
void IIapi_getDescriptor(IIAPI_GETDESCRPARM* getDescrParm);
void IIapi_getColumns(IIAPI_GETCOLPARM* getColParm);
void IIapi_getQueryInfo(IIAPI_GETQINFOPARM* getQInfoParm);
void IIapi_close(IIAPI_CLOSEPARM* closeParm);
void IIapi_position(IIAPI_POSPARM* positionParm);
void IIapi_cancel(IIAPI_CANCELPARM* cancelParm);
void IIapi_getErrorInfo(IIAPI_GETEINFOPARM* getEInfoParm);
void IIapi_wait(IIAPI_WAITPARM* waitParm);
void IIapi_convertData(IIAPI_CONVERTPARM* convertParm);

/* ---- Engine control (not part of the client interface) ------------------------------------- */

/*
 * Server behaviour that real servers differ in, so that clients can be tested against each.
 * Each setting is read from the environment variable named in brackets when a session connects,
 * unless iiengine_setControl has set it for the process (set NULL to return to the variable).
 *   IIENGINE_VERSION        [II_ENGINE_VERSION]   dbmsinfo('_version'); default a current
 *                                                  server, "II 10.2.0 (a64.lnx/100)"
 *   IIENGINE_API_LEVEL      [II_ENGINE_API_LEVEL] co_apiLevel, "0".."5"; default "5"
 *   IIENGINE_CHARSET        [II_ENGINE_CHARSET]   dbmsinfo('charset'); default "UTF8"
 *   IIENGINE_UNICODE_LEVEL  [II_ENGINE_UNICODE_LEVEL] dbmsinfo('unicode_level'); default "1"
 *   IIENGINE_ORDER_BY       [II_ENGINE_ORDER_BY]  "strict": an ORDER BY column missing from the
 *                                                  select list is refused (SQLSTATE 42501, native
 *                                                  code 2161, column in single quotes) as older
 *                                                  servers do; default "relaxed"
 *   IIENGINE_BUSY_TIMEOUT   [II_ENGINE_BUSY_TIMEOUT] milliseconds a writer waits for another
 *                                                  session's lock before failing with 40001;
 *                                                  default "5000"
 * The data directory is [II_DATABASE_DIR], default "$HOME/.iiapi/data" ("/tmp/iiapi-<uid>" when
 * HOME is unset); database "name" is the file "<dir>/name.db". A name is letters, digits and
 * _ - $ # @, not beginning with "." or "-"; paths are refused.
 */
#define IIENGINE_VERSION 1
#define IIENGINE_API_LEVEL 2
#define IIENGINE_CHARSET 3
#define IIENGINE_UNICODE_LEVEL 4
#define IIENGINE_ORDER_BY 5
#define IIENGINE_BUSY_TIMEOUT 6

/* 0 on success, -1 for an unknown setting.  Affects sessions connected afterwards. */
int iiengine_setControl(int setting, const char* value);

/*
 * Creates the database file for "[node::]name" in the data directory.  With a non-null
 * password the database requires it for that user.  0 on success; -1 when it exists already or
 * cannot be made (the reason in errbuf when errbuf is not null).
 */
int iiengine_createDatabase(const char* target, const char* user, const char* password, char* errbuf, size_t errlen);

/*
 * Loads the sample schema into an existing (normally new) database: tables dept, emp and
 * all_types with keys, a foreign key, indexes, a view, three procedures and permits, and rows of
 * every type.  Runs as the given user (the owner of the objects).  0 on success, -1 on failure.
 */
int iiengine_loadSample(const char* target, const char* user, const char* password, char* errbuf, size_t errlen);

/*
 * Creates the row-version table VOVURA (hconn char(8), hcurs char(8), keyver char(32),
 * rowver char(32), all NOT NULL) of an existing database, which dynamic cursors of clients use.
 * It lives in a file of its own beside the database ("<file>.rowver"), so that its writers lock
 * only it: a session can write it while another holds a write transaction on other tables.
 * Sessions that connect afterwards see it.  0 on success (also when it exists), -1 on failure.
 */
int iiengine_createRowVersionTable(const char* target, char* errbuf, size_t errlen);

/* The file path a target names (into buf); 0 on success, -1 when it does not fit or is invalid. */
int iiengine_databasePath(const char* target, char* buf, size_t buflen);

#ifdef __cplusplus
}
#endif

#endif /* IIAPI_IIAPI_H */
