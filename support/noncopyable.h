// Base classes that switch off copying or assignment for the support library's classes.
#pragma once

namespace velmora
{

class noncopyable
{
protected:
    noncopyable() = default;
    ~noncopyable() = default;

public:
    noncopyable(const noncopyable&) = delete;
    noncopyable& operator=(const noncopyable&) = delete;
};

// Copy construction stays allowed; assignment does not.
class nonassignable
{
protected:
    nonassignable() = default;
    nonassignable(const nonassignable&) = default;
    ~nonassignable() = default;

public:
    nonassignable& operator=(const nonassignable&) = delete;
};

} // namespace velmora
