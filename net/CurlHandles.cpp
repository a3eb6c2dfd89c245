#include "CurlHandles.h"

bool CurlSlist::Append(const QByteArray& line)
{
    curl_slist* grown = curl_slist_append(m_list.get(), line.constData());
    if (!grown)
        return false;
    m_list.release(); // the grown list starts with the same node
    m_list.reset(grown);
    return true;
}
