#include "common/DbException.h"

CDbException::CDbException(long nErrorCode, QString strDescription)
    : m_nErrorCode(nErrorCode), m_strDescription(std::move(strDescription)), m_utf8(m_strDescription.toUtf8())
{
}
