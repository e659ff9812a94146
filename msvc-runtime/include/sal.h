// Wine's sal.h, completed with the annotations the standard library uses that it lacks. They
// matter only to Microsoft's code analysis; here each expands to nothing.
#pragma once
#include_next <sal.h>
#ifndef _Check_return_opt_
#define _Check_return_opt_
#endif
#ifndef _Use_decl_annotations_
#define _Use_decl_annotations_
#endif
#ifndef _Maybe_raises_SEH_exception_
#define _Maybe_raises_SEH_exception_
#endif
#ifndef _Notnull_
#define _Notnull_
#endif
#ifndef _Pre_
#define _Pre_
#endif
#ifndef _Post_
#define _Post_
#endif
#ifndef _Literal_
#define _Literal_
#endif
#ifndef _Const_
#define _Const_
#endif
#ifndef _Kernel_float_used_
#define _Kernel_float_used_
#endif
#ifndef _Benign_race_begin_
#define _Benign_race_begin_
#endif
#ifndef _Benign_race_end_
#define _Benign_race_end_
#endif
#ifndef _No_competing_thread_begin_
#define _No_competing_thread_begin_
#endif
#ifndef _No_competing_thread_end_
#define _No_competing_thread_end_
#endif
#ifndef _Raises_SEH_exception_
#define _Raises_SEH_exception_
#endif
#ifndef _Lock_kind_mutex_
#define _Lock_kind_mutex_
#endif
#ifndef _Lock_kind_event_
#define _Lock_kind_event_
#endif
#ifndef _Analysis_suppress_lock_checking_
#define _Analysis_suppress_lock_checking_
#endif
#ifndef _Function_ignore_lock_checking_
#define _Function_ignore_lock_checking_
#endif
#ifndef _Post_notnull_
#define _Post_notnull_
#endif
#ifndef _Post_maybenull_
#define _Post_maybenull_
#endif
#ifndef _Strict_type_match_
#define _Strict_type_match_
#endif
#ifndef _Ret_opt_z_
#define _Ret_opt_z_
#endif
#ifndef _NullNull_terminated_
#define _NullNull_terminated_
#endif
#ifndef _Outref_
#define _Outref_
#endif
#ifndef _Outref_result_maybenull_
#define _Outref_result_maybenull_
#endif
#ifndef _Result_zeroonfailure_
#define _Result_zeroonfailure_
#endif
#ifndef _Translates_Win32_to_HRESULT_
#define _Translates_Win32_to_HRESULT_
#endif
#ifndef _Frees_ptr_opt_
#define _Frees_ptr_opt_
#endif
#ifndef _Ret_writes_maybenull_
#define _Ret_writes_maybenull_
#endif
#ifndef _Analysis_assume_
#define _Analysis_assume_(...)
#endif
#ifndef _Pre_satisfies_
#define _Pre_satisfies_(...)
#endif
#ifndef _Guarded_by_
#define _Guarded_by_(...)
#endif
#ifndef _Field_z_
#define _Field_z_(...)
#endif
#ifndef _Acquires_lock_
#define _Acquires_lock_(...)
#endif
#ifndef _Releases_lock_
#define _Releases_lock_(...)
#endif
#ifndef _Requires_lock_held_
#define _Requires_lock_held_(...)
#endif
#ifndef _Interlocked_operand_
#define _Interlocked_operand_(...)
#endif
#ifndef _Struct_size_bytes_
#define _Struct_size_bytes_(...)
#endif
#ifndef _Field_size_
#define _Field_size_(...)
#endif
#ifndef _Out_range_
#define _Out_range_(...)
#endif
#ifndef _On_failure_
#define _On_failure_(...)
#endif
#ifndef _Points_to_data_
#define _Points_to_data_(...)
#endif
#ifndef _Writable_bytes_
#define _Writable_bytes_(...)
#endif
#ifndef _Readable_bytes_
#define _Readable_bytes_(...)
#endif
#ifndef _Dispatch_
#define _Dispatch_(...)
#endif
#ifndef _Acquires_exclusive_lock_
#define _Acquires_exclusive_lock_(...)
#endif
#ifndef _Releases_exclusive_lock_
#define _Releases_exclusive_lock_(...)
#endif
#ifndef _Acquires_shared_lock_
#define _Acquires_shared_lock_(...)
#endif
#ifndef _Releases_shared_lock_
#define _Releases_shared_lock_(...)
#endif
#ifndef _Requires_exclusive_lock_held_
#define _Requires_exclusive_lock_held_(...)
#endif
#ifndef _Requires_shared_lock_held_
#define _Requires_shared_lock_held_(...)
#endif
#ifndef _Requires_lock_not_held_
#define _Requires_lock_not_held_(...)
#endif
#ifndef _Create_lock_level_
#define _Create_lock_level_(...)
#endif
#ifndef _Has_lock_kind_
#define _Has_lock_kind_(...)
#endif
#ifndef _Has_lock_level_
#define _Has_lock_level_(...)
#endif
#ifndef _Lock_level_order_
#define _Lock_level_order_(...)
#endif
#ifndef _Post_same_lock_
#define _Post_same_lock_(...)
#endif
#ifndef _Internal_lock_level_order_
#define _Internal_lock_level_order_(...)
#endif
#ifndef _Write_guarded_by_
#define _Write_guarded_by_(...)
#endif
#ifndef _Deref_ret_range_
#define _Deref_ret_range_(...)
#endif
#ifndef _Inexpressible_
#define _Inexpressible_(...)
#endif
#ifndef _Unchanged_
#define _Unchanged_(...)
#endif
#ifndef _Old_
#define _Old_(...)
#endif
#ifndef _Curr_
#define _Curr_(...)
#endif
#ifndef _Param_
#define _Param_(...)
#endif
#ifndef _Ret_writes_
#define _Ret_writes_(...)
#endif
#ifndef _Ret_writes_bytes_
#define _Ret_writes_bytes_(...)
#endif
#ifndef _Ret_writes_to_
#define _Ret_writes_to_(...)
#endif
#ifndef _Ret_writes_bytes_to_
#define _Ret_writes_bytes_to_(...)
#endif
#ifndef _Ret_writes_bytes_to_maybenull_
#define _Ret_writes_bytes_to_maybenull_(...)
#endif
#ifndef _Pre_equal_to_
#define _Pre_equal_to_(...)
#endif
#ifndef _When_
#define _When_(...)
#endif
#ifndef _Success_
#define _Success_(...)
#endif
#ifndef _At_
#define _At_(...)
#endif
#ifndef _Post_satisfies_
#define _Post_satisfies_(...)
#endif
#ifndef _Ret_range_
#define _Ret_range_(...)
#endif
#ifndef _In_range_
#define _In_range_(...)
#endif
