// Growable lists of the setup library: texts (each a heap copy) and fixed-size records.
// Adding returns 0 when memory runs out; nothing throws.
#pragma once

#include <windows.h>

#include <stdlib.h>
#include <string.h>

class CTextList {
public:
    CTextList() : m_ppItems(NULL), m_nCount(0), m_nCapacity(0) {}
    ~CTextList() { Clear(); }

    // Appends a copy of the text; 1 when added.
    int Add(LPCWSTR pszText) {
        if (!pszText || !Reserve(m_nCount + 1)) return 0;
        size_t n = wcslen(pszText) + 1;
        LPWSTR p = static_cast<LPWSTR>(malloc(n * sizeof(WCHAR)));
        if (!p) return 0;
        memcpy(p, pszText, n * sizeof(WCHAR));
        m_ppItems[m_nCount++] = p;
        return 1;
    }
    int GetCount() const { return m_nCount; }
    LPCWSTR Get(int i) const { return (i >= 0 && i < m_nCount) ? m_ppItems[i] : NULL; }
    void Clear() {
        for (int i = 0; i < m_nCount; ++i) free(m_ppItems[i]);
        free(m_ppItems);
        m_ppItems = NULL;
        m_nCount = m_nCapacity = 0;
    }

private:
    CTextList(const CTextList&);
    CTextList& operator=(const CTextList&);
    int Reserve(int n) {
        if (n <= m_nCapacity) return 1;
        int cap = m_nCapacity ? m_nCapacity * 2 : 16;
        while (cap < n) cap *= 2;
        LPWSTR* p = static_cast<LPWSTR*>(realloc(m_ppItems, static_cast<size_t>(cap) * sizeof(LPWSTR)));
        if (!p) return 0;
        m_ppItems = p;
        m_nCapacity = cap;
        return 1;
    }

    LPWSTR* m_ppItems;
    int m_nCount;
    int m_nCapacity;
};

// A list of plain records (copied bytewise).
template <class T>
class CRecordList {
public:
    CRecordList() : m_pItems(NULL), m_nCount(0), m_nCapacity(0) {}
    ~CRecordList() { Clear(); }

    int Add(const T& item) {
        if (m_nCount == m_nCapacity) {
            int cap = m_nCapacity ? m_nCapacity * 2 : 8;
            T* p = static_cast<T*>(realloc(m_pItems, static_cast<size_t>(cap) * sizeof(T)));
            if (!p) return 0;
            m_pItems = p;
            m_nCapacity = cap;
        }
        memcpy(&m_pItems[m_nCount++], &item, sizeof(T));
        return 1;
    }
    int GetCount() const { return m_nCount; }
    const T* Get(int i) const { return (i >= 0 && i < m_nCount) ? &m_pItems[i] : NULL; }
    void Clear() {
        free(m_pItems);
        m_pItems = NULL;
        m_nCount = m_nCapacity = 0;
    }

private:
    CRecordList(const CRecordList&);
    CRecordList& operator=(const CRecordList&);

    T* m_pItems;
    int m_nCount;
    int m_nCapacity;
};
