// The part of the Oracle Call Interface (OCI) that the Oracle session uses,
// declared from Oracle's public OCI documentation: the scalar types, the opaque
// handle types, the few constants, and one function-pointer type per call.
//
// Nothing here links against Oracle: the calls are looked up by name in the
// client library loaded at run time (client_library.h). The C calling
// convention of the platform is the one the client library uses.
#ifndef KOLVADEX_DB_ORACLE_OCI_API_H_
#define KOLVADEX_DB_ORACLE_OCI_API_H_

#include <cstddef>
#include <cstdint>

namespace kolvadex::db::oracle::oci {

// Scalar types of the interface.
using sword = int;
using sb4 = std::int32_t;
using ub4 = std::uint32_t;
using ub2 = std::uint16_t;
using OraText = unsigned char;

// Opaque handles; only pointers to them are ever used.
struct OCIEnv;
struct OCIError;
struct OCIServer;
struct OCISvcCtx;
struct OCISession;
struct OCIStmt;
struct OCISnapshot;

// Return codes.
inline constexpr sword OCI_SUCCESS = 0;
inline constexpr sword OCI_SUCCESS_WITH_INFO = 1;
inline constexpr sword OCI_NO_DATA = 100;
inline constexpr sword OCI_ERROR = -1;
inline constexpr sword OCI_INVALID_HANDLE = -2;

// The mode of every call that takes no special mode.
inline constexpr ub4 OCI_DEFAULT = 0;

// Handle types.
inline constexpr ub4 OCI_HTYPE_ENV = 1;
inline constexpr ub4 OCI_HTYPE_ERROR = 2;
inline constexpr ub4 OCI_HTYPE_SVCCTX = 3;
inline constexpr ub4 OCI_HTYPE_STMT = 4;
inline constexpr ub4 OCI_HTYPE_SERVER = 8;
inline constexpr ub4 OCI_HTYPE_SESSION = 9;

// Attributes.
inline constexpr ub4 OCI_ATTR_SERVER = 6;      // service context: its server handle
inline constexpr ub4 OCI_ATTR_SESSION = 7;     // service context: its user session handle
inline constexpr ub4 OCI_ATTR_ROW_COUNT = 9;   // statement: rows processed, ub4
inline constexpr ub4 OCI_ATTR_USERNAME = 22;   // user session: user name
inline constexpr ub4 OCI_ATTR_PASSWORD = 23;   // user session: password
inline constexpr ub4 OCI_ATTR_STMT_TYPE = 24;  // statement: its type, ub2

// Credential types of OCISessionBegin.
inline constexpr ub4 OCI_CRED_RDBMS = 1;  // user name and password
inline constexpr ub4 OCI_CRED_EXT = 2;    // external (operating-system) authentication

// Syntax of OCIStmtPrepare2: the server's native one.
inline constexpr ub4 OCI_NTV_SYNTAX = 1;

// Statement types (OCI_ATTR_STMT_TYPE).
inline constexpr ub2 OCI_STMT_SELECT = 1;
inline constexpr ub2 OCI_STMT_UPDATE = 2;
inline constexpr ub2 OCI_STMT_DELETE = 3;
inline constexpr ub2 OCI_STMT_INSERT = 4;
inline constexpr ub2 OCI_STMT_MERGE = 16;

// Size of a buffer that holds any error text of OCIErrorGet.
inline constexpr ub4 kErrorTextSize = 3072;

extern "C" {
using OCIEnvCreateFn = sword (*)(OCIEnv** envhpp, ub4 mode, const void* ctxp,
                                 void* (*malocfp)(void* ctxp, std::size_t size),
                                 void* (*ralocfp)(void* ctxp, void* memptr, std::size_t newsize),
                                 void (*mfreefp)(void* ctxp, void* memptr), std::size_t xtramem_sz,
                                 void** usrmempp);
using OCIHandleAllocFn = sword (*)(const void* parenth, void** hndlpp, ub4 type,
                                   std::size_t xtramem_sz, void** usrmempp);
using OCIHandleFreeFn = sword (*)(void* hndlp, ub4 type);
using OCIAttrSetFn = sword (*)(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                               ub4 attrtype, OCIError* errhp);
using OCIAttrGetFn = sword (*)(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                               ub4 attrtype, OCIError* errhp);
using OCIServerAttachFn = sword (*)(OCIServer* srvhp, OCIError* errhp, const OraText* dblink,
                                    sb4 dblink_len, ub4 mode);
using OCIServerDetachFn = sword (*)(OCIServer* srvhp, OCIError* errhp, ub4 mode);
using OCISessionBeginFn = sword (*)(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                                    ub4 mode);
using OCISessionEndFn = sword (*)(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
using OCIStmtPrepare2Fn = sword (*)(OCISvcCtx* svchp, OCIStmt** stmthp, OCIError* errhp,
                                    const OraText* stmttext, ub4 stmt_len, const OraText* key,
                                    ub4 keylen, ub4 language, ub4 mode);
using OCIStmtExecuteFn = sword (*)(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                   ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                                   ub4 mode);
using OCIStmtReleaseFn = sword (*)(OCIStmt* stmtp, OCIError* errhp, const OraText* key, ub4 keylen,
                                   ub4 mode);
using OCITransCommitFn = sword (*)(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCITransRollbackFn = sword (*)(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCIErrorGetFn = sword (*)(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                                OraText* bufp, ub4 bufsiz, ub4 type);
}

// The calls of one loaded client library; every pointer is set once loaded.
struct Api {
  OCIEnvCreateFn EnvCreate = nullptr;
  OCIHandleAllocFn HandleAlloc = nullptr;
  OCIHandleFreeFn HandleFree = nullptr;
  OCIAttrSetFn AttrSet = nullptr;
  OCIAttrGetFn AttrGet = nullptr;
  OCIServerAttachFn ServerAttach = nullptr;
  OCIServerDetachFn ServerDetach = nullptr;
  OCISessionBeginFn SessionBegin = nullptr;
  OCISessionEndFn SessionEnd = nullptr;
  OCIStmtPrepare2Fn StmtPrepare2 = nullptr;
  OCIStmtExecuteFn StmtExecute = nullptr;
  OCIStmtReleaseFn StmtRelease = nullptr;
  OCITransCommitFn TransCommit = nullptr;
  OCITransRollbackFn TransRollback = nullptr;
  OCIErrorGetFn ErrorGet = nullptr;
};

}  // namespace kolvadex::db::oracle::oci

#endif  // KOLVADEX_DB_ORACLE_OCI_API_H_
