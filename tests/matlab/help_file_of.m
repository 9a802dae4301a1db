function file = help_file_of(name)
%HELP_FILE_OF  The help file NAME.m that sits beside the compiled function NAME.
file = fullfile(fileparts(which(name)), [name '.m']);
end
