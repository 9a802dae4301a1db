function expect_error(call, identifier, message, what)
%EXPECT_ERROR  Fail unless CALL raises an error with IDENTIFIER and MESSAGE.
%   expect_error(@() f(x), identifier, message, what): WHAT names the case.
try
    call();
catch err
    expect_equal(err.identifier, identifier, [what ': identifier']);
    expect_equal(err.message, message, [what ': message']);
    return;
end
error('expect_error:none', '%s: no error raised, expected %s', what, message);
end
