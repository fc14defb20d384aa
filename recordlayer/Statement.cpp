#include "recordlayer/Statement.h"

#include "recordlayer/ConnectionImpl.h"

namespace rl {

Statement::Statement(DbConnection& db)
    : owner_(&ImplOf(db)), stmt_(SQL_NULL_HSTMT), generation_(owner_->generation) {}

Statement::~Statement() {
    if (stmt_ != SQL_NULL_HSTMT && Alive()) owner_->TakeBack(stmt_);
}

bool Statement::Alive() const { return owner_->generation == generation_; }

SQLHSTMT Statement::Handle() {
    if (!Alive()) throw CDBException("08003", 0, "the connection was closed under a statement");
    if (stmt_ == SQL_NULL_HSTMT) stmt_ = owner_->LendStatement();
    return stmt_;
}

void Statement::Execute(std::string_view sql, const char* what) {
    // A prepare costs extra round trips on a server and buys nothing for a
    // statement run once.
    const SQLHSTMT stmt = Handle();
    owner_->BeforeStatement();
    CheckOdbc(SQLExecDirect(stmt, SqlText(sql), SqlLength(sql)), SQL_HANDLE_STMT, stmt, what, true);
}

void Statement::Reset() {
    CheckOdbc(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_HANDLE_STMT, stmt_, "close a cursor");
    CheckOdbc(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_HANDLE_STMT, stmt_, "unbind parameters");
}

}  // namespace rl
